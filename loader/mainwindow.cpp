#include "loader/mainwindow.h"
#include "ui_mainwindow.h"

#include "core/device/device_list.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/config_source.h"
#include "core/ops/device_choice.h"
#include "loader/file_dialogs.h"
#include "loader/varko5configwidget.h"
#include "varko5_version.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QtGlobal>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <vector>

namespace {

const char* const LPFP_TO_XML_FAILURE = "Could not convert the LPFP file into XML files";
const char* const XML_TO_LPFP_FAILURE =
    "Could not convert the XML files into LPFP files. Check that the XML files have the proper "
    "<APPConfiguration></APPConfiguration> and <MCConfiguration></MCConfiguration> tags";

QString qText(const std::string& text) {
    return QString::fromStdString(text);
}

// Why the LPFP file cannot be converted (the decoding or checksum failure, or a missing
// document); empty when it can.
QString lpfpProblem(const QString& path) {
    try {
        LpfpConfiguration scratch{};
        std::uint64_t keyCount = 0;
        if (!readLpfpFile(scratch, path.toStdString(), keyCount)) {
            return QStringLiteral("Invalid Configuration File");
        }
    } catch (const std::exception& error) {
        return qText(error.what());
    }
    return {};
}

// Why the document cannot be the record the converter asks for; empty when it can.
QString xmlProblem(const QString& path, const char* root) {
    const std::string found = xmlRecordName(path.toStdString());
    const QString name = QFileInfo(path).fileName();
    if (found == root) {
        return {};
    }
    if (found.empty()) {
        return QStringLiteral("%1 is not a configuration XML document").arg(name);
    }
    return QStringLiteral("%1 holds the %2 record, not the %3 record")
        .arg(name, qText(found), QString::fromLatin1(root));
}

QString nodeKey(const DeviceInfoNode& node) {
    return qText(serialNumberOf(node)) + QLatin1Char('\n') + qText(descriptionOf(node));
}

QString panelKey(const varko5ConfigWidget* panel) {
    return panel->serialNumber() + QLatin1Char('\n') + panel->description();
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()) {
    ui_->setupUi(this);
    // Menu actions are not slots, so the form's connection by name leaves them alone.
    QMenu* devices = menuBar()->addMenu(tr("&Devices"));
    devices->setObjectName(QStringLiteral("devicesMenu"));
    rescanAction_ = devices->addAction(tr("Rescan"));
    rescanAction_->setObjectName(QStringLiteral("rescanAction"));
    rescanAction_->setShortcut(QKeySequence::Refresh);
    connect(rescanAction_, &QAction::triggered, this, [this] { rescanDevices(); });

    QMenu* help = ui_->menubar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction* about = help->addAction(tr("&About"));
    about->setObjectName(QStringLiteral("actionAbout"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);

    // Listing is quick; opening and identifying each controller is left to its panel's worker,
    // so the window appears at once.
    const std::vector<DeviceInfoNode> nodes = enumerateDevices();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        addPanel(nodes[i], static_cast<int>(i));
    }
    if (nodes.empty()) {
        QMessageBox::critical(this, QStringLiteral("ERROR"), QStringLiteral("No Varko 5 Devices found"));
    }

    const bool advanced = qEnvironmentVariableIsSet("VARKO5_ADVANCED");
    ui_->convertLPFPButton->setVisible(advanced);
    ui_->convertXMLButton->setVisible(advanced);
}

MainWindow::~MainWindow() = default;

varko5ConfigWidget* MainWindow::addPanel(const DeviceInfoNode& node, int index) {
    auto* panel = new varko5ConfigWidget(ui_->panelArea);
    panel->setSerialNumber(qText(serialNumberOf(node)));
    panel->setDescription(qText(descriptionOf(node)));
    panel->attachListedDevice(node, index);
    ui_->formLayout->addRow(QString(), panel);
    return panel;
}

std::vector<varko5ConfigWidget*> MainWindow::panels() const {
    std::vector<varko5ConfigWidget*> found;
    for (int row = 0; row < ui_->formLayout->rowCount(); ++row) {
        QLayoutItem* item = ui_->formLayout->itemAt(row, QFormLayout::FieldRole);
        if (auto* panel = item != nullptr ? qobject_cast<varko5ConfigWidget*>(item->widget()) : nullptr) {
            found.push_back(panel);
        }
    }
    return found;
}

bool MainWindow::anyPanelBusy() const {
    const std::vector<varko5ConfigWidget*> all = panels();
    return std::any_of(all.begin(), all.end(),
                       [](const varko5ConfigWidget* panel) { return panel->isBusy(); });
}

void MainWindow::rescanDevices() {
    std::vector<DeviceInfoNode> nodes;
    try {
        nodes = enumerateDevices();
    } catch (const std::exception& error) {
        spdlog::error("{}", error.what());
        statusBar()->showMessage(qText(error.what()));
        return;
    }
    const std::vector<varko5ConfigWidget*> known = panels();
    int added = 0;
    int gone = 0;
    for (varko5ConfigWidget* panel : known) {
        const bool listed = std::any_of(nodes.begin(), nodes.end(), [panel](const DeviceInfoNode& node) {
            return nodeKey(node) == panelKey(panel);
        });
        if (!listed && !panel->isDisconnected()) {
            panel->markDisconnected();
            ++gone;
        }
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const QString key = nodeKey(nodes[i]);
        const auto match = std::find_if(known.begin(), known.end(), [&key](const varko5ConfigWidget* panel) {
            return panelKey(panel) == key;
        });
        if (match == known.end()) {
            addPanel(nodes[i], static_cast<int>(i));
            ++added;
        } else if ((*match)->wantsReconnect() && !(*match)->isBusy()) {
            (*match)->attachListedDevice(nodes[i], static_cast<int>(i));
        }
    }
    statusBar()->showMessage(tr("%n device(s) listed", nullptr, static_cast<int>(nodes.size())) +
                             (added > 0 ? tr(", %n new", nullptr, added) : QString()) +
                             (gone > 0 ? tr(", %n disconnected", nullptr, gone) : QString()));
    if (added > 0 && isVisible()) {
        fitToScreen();
    }
}

void MainWindow::fitToRoom(const QSize& room) {
    ui_->panelArea->adjustSize();
    const QSize content = ui_->panelArea->sizeHint();
    const QSize frame = frameGeometry().size() - size(); // the window manager's decoration
    const int scrollBar = ui_->panelScrollArea->verticalScrollBar()->sizeHint().width();
    const int chrome = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    const int width = std::min(std::max(800, content.width() + scrollBar), room.width() - frame.width());
    const int height = std::min(std::max(183, content.height() + chrome), room.height() - frame.height());
    resize(width, height);
}

void MainWindow::fitToScreen() {
    if (const QScreen* screen = this->screen()) {
        fitToRoom(screen->availableGeometry().size());
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!fitted_) {
        fitted_ = true;
        fitToScreen();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!anyPanelBusy()) {
        QMainWindow::closeEvent(event);
        return;
    }
    // An exchange is never cut short: the window waits for the running operations to end,
    // without blocking, and closes then; nothing new can be started meanwhile.
    event->ignore();
    if (closing_) {
        return;
    }
    closing_ = true;
    statusBar()->showMessage(tr("Closing when the running operations have ended..."));
    rescanAction_->setEnabled(false);
    ui_->convertLPFPButton->setEnabled(false);
    ui_->convertXMLButton->setEnabled(false);
    for (varko5ConfigWidget* panel : panels()) {
        panel->dropResults();
        panel->setEnabled(false);
        connect(
            panel, &varko5ConfigWidget::busyChanged, this,
            [this](bool busy) {
                if (!busy && !anyPanelBusy()) {
                    close();
                }
            },
            Qt::QueuedConnection);
    }
}

void MainWindow::on_convertLPFPButton_clicked() {
    // All three questions are asked even after a cancel; only three answers convert. A file
    // that cannot be converted is refused before the names of the outputs are asked for.
    const QString lpfpPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open LPFP Config"), tr("LPFP Files(*.lpfp)")});
    if (!lpfpPath.isEmpty()) {
        const QString problem = lpfpProblem(lpfpPath);
        if (!problem.isEmpty()) {
            spdlog::error("{}: {}", lpfpPath.toStdString(), problem.toStdString());
            QMessageBox::critical(this, QStringLiteral("Error"),
                                  QString::fromLatin1(LPFP_TO_XML_FAILURE) + QStringLiteral("\n") + problem);
            return;
        }
    }
    const QString appPath =
        askForFile({FileDialogKind::Save, this, tr("Save App Configuration"), tr("XML (*.xml *.XML)")});
    const QString mcPath =
        askForFile({FileDialogKind::Save, this, tr("Save MC Configuration"), tr("XML (*.xml *.XML)")});
    if (lpfpPath.isEmpty() || appPath.isEmpty() || mcPath.isEmpty()) {
        return;
    }
    bool converted = false;
    QString reason;
    try {
        converted = lpfpToXmlFiles(lpfpPath.toUtf8().toStdString(), appPath.toUtf8().toStdString(),
                                   mcPath.toUtf8().toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", error.what());
        reason = qText(error.what());
    }
    if (converted) {
        QMessageBox::information(this, QStringLiteral("SUCCESS"), QStringLiteral("XML files created"));
    } else {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QString::fromLatin1(LPFP_TO_XML_FAILURE) +
                                  (reason.isEmpty() ? QString() : QStringLiteral("\n") + reason));
    }
}

void MainWindow::on_convertXMLButton_clicked() {
    const QString appPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open App Config XML"), tr("XML (*.xml *.XML)")});
    const QString mcPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open MC Config XML"), tr("XML (*.xml *.XML)")});
    QStringList problems;
    if (!appPath.isEmpty()) {
        problems << xmlProblem(appPath, "APPConfiguration");
    }
    if (!mcPath.isEmpty()) {
        problems << xmlProblem(mcPath, "MCConfiguration");
    }
    problems.removeAll(QString());
    if (!problems.isEmpty()) {
        spdlog::error("{}", problems.join(QStringLiteral("; ")).toStdString());
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QString::fromLatin1(XML_TO_LPFP_FAILURE) + QStringLiteral("\n") +
                                  problems.join(QLatin1Char('\n')));
        return;
    }
    const QString lpfpPath =
        askForFile({FileDialogKind::Save, this, tr("Save LPFP Configuration"), tr("LPFP Files(*.lpfp)")});
    if (appPath.isEmpty() || mcPath.isEmpty() || lpfpPath.isEmpty()) {
        return;
    }
    bool converted = false;
    QString reason;
    try {
        converted = xmlFilesToLpfp(appPath.toUtf8().toStdString(), mcPath.toUtf8().toStdString(),
                                   lpfpPath.toUtf8().toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", error.what());
        reason = qText(error.what());
    }
    if (converted) {
        QMessageBox::information(this, QStringLiteral("SUCCESS"), QStringLiteral("LPFP file created"));
    } else {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QString::fromLatin1(XML_TO_LPFP_FAILURE) +
                                  (reason.isEmpty() ? QString() : QStringLiteral("\n") + reason));
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
