#include "loader/mainwindow.h"
#include "ui_mainwindow.h"

#include "core/device/device_list.h"
#include "core/lpfp/lpfp.h"
#include "loader/file_dialogs.h"
#include "loader/varko5configwidget.h"
#include "varko5_version.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QtGlobal>

#include <spdlog/spdlog.h>

#include <cstring>
#include <exception>
#include <vector>

namespace {

// The driver's fixed-size text fields need not end with a zero.
template <std::size_t N> QString fixedText(const char (&field)[N]) {
    return QString::fromLatin1(field, static_cast<int>(strnlen(field, N)));
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()) {
    ui_->setupUi(this);
    // Not a slot, so the form's connection by name leaves it alone.
    QMenu* help = ui_->menubar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction* about = help->addAction(tr("&About"));
    about->setObjectName(QStringLiteral("actionAbout"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);

    const std::vector<DeviceInfoNode> nodes = enumerateDevices();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        DeviceHandle handle = openDeviceByIndex(static_cast<int>(i));
        auto* panel = new varko5ConfigWidget(this);
        panel->setSerialNumber(fixedText(nodes[i].serialNumber));
        panel->setDescription(fixedText(nodes[i].description));
        panel->attachDevice(std::move(handle), nodes[i], static_cast<int>(i));
        ui_->formLayout->addRow(QString(), panel);
    }
    if (nodes.empty()) {
        QMessageBox::critical(this, QStringLiteral("ERROR"), QStringLiteral("No Varko 5 Devices found"));
    }

    const bool advanced = qEnvironmentVariableIsSet("VARKO5_ADVANCED");
    ui_->convertLPFPButton->setVisible(advanced);
    ui_->convertXMLButton->setVisible(advanced);
}

MainWindow::~MainWindow() = default;

void MainWindow::on_convertLPFPButton_clicked() {
    // All three questions are asked even after a cancel; only three answers convert.
    const QString lpfpPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open LPFP Config"), tr("LPFP Files(*.lpfp)")});
    const QString appPath =
        askForFile({FileDialogKind::Save, this, tr("Save App Configuration"), tr("XML (*.xml *.XML)")});
    const QString mcPath =
        askForFile({FileDialogKind::Save, this, tr("Save MC Configuration"), tr("XML (*.xml *.XML)")});
    if (lpfpPath.isEmpty() || appPath.isEmpty() || mcPath.isEmpty()) {
        return;
    }
    bool converted = false;
    try {
        converted = lpfpToXmlFiles(lpfpPath.toUtf8().toStdString(), appPath.toUtf8().toStdString(),
                                   mcPath.toUtf8().toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", error.what());
    }
    if (converted) {
        QMessageBox::information(this, QStringLiteral("SUCCESS"), QStringLiteral("XML files created"));
    } else {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("Could not convert the LPFP file into XML files"));
    }
}

void MainWindow::on_convertXMLButton_clicked() {
    const QString appPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open App Config XML"), tr("XML (*.xml *.XML)")});
    const QString mcPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open MC Config XML"), tr("XML (*.xml *.XML)")});
    const QString lpfpPath =
        askForFile({FileDialogKind::Save, this, tr("Save LPFP Configuration"), tr("LPFP Files(*.lpfp)")});
    if (appPath.isEmpty() || mcPath.isEmpty() || lpfpPath.isEmpty()) {
        return;
    }
    bool converted = false;
    try {
        converted = xmlFilesToLpfp(appPath.toUtf8().toStdString(), mcPath.toUtf8().toStdString(),
                                   lpfpPath.toUtf8().toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", error.what());
    }
    if (converted) {
        QMessageBox::information(this, QStringLiteral("SUCCESS"), QStringLiteral("LPFP file created"));
    } else {
        QMessageBox::critical(
            this, QStringLiteral("Error"),
            QStringLiteral("Could not convert the XML files into LPFP files. Check that the XML "
                           "files have the proper <APPConfiguration></APPConfiguration> and "
                           "<MCConfiguration></MCConfiguration> tags"));
    }
}

void MainWindow::showAbout() {
    QMessageBox::about(this, tr("About LPFP Configuration Loader"),
                       tr("LPFP Configuration Loader %1\n\n"
                          "Reads, saves and applies the configuration of Varko 5 motor controllers.")
                           .arg(QString::fromLatin1(VARKO5_VERSION)));
}

int runLoader(QApplication& app) {
    std::unique_ptr<MainWindow> window;
    try {
        window = std::make_unique<MainWindow>();
    } catch (const std::exception& error) {
        // Without its device list the program has nothing to show; say why before ending.
        spdlog::error("{}", error.what());
        QMessageBox::critical(nullptr, QStringLiteral("ERROR"), QString::fromStdString(error.what()));
        return 1;
    }
    window->setWindowTitle(QStringLiteral("LPFP Configuration Loader"));
    window->show();

    const QString screenshotPath = qEnvironmentVariable("VARKO5_SCREENSHOT");
    if (!screenshotPath.isEmpty()) {
        // Let the window be laid out and painted before it is grabbed.
        QTimer::singleShot(500, window.get(), [&app, &window, screenshotPath] {
            const bool saved = window->grab().save(screenshotPath);
            app.exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
