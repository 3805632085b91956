#include "loader/mainwindow.h"
#include "ui_mainwindow.h"

#include "core/device/device_list.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/config_source.h"
#include "core/ops/device_choice.h"
#include "core/ops/recording.h"
#include "loader/file_dialogs.h"
#include "loader/panel_texts.h"
#include "loader/qt_text.h"
#include "loader/varko5configwidget.h"
#include "varko5_version.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QtGlobal>

#include <QLabel>

#include <spdlog/details/os.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

const char* const LPFP_TO_XML_FAILURE = "Could not convert the LPFP file into XML files";
const char* const XML_TO_LPFP_FAILURE =
    "Could not convert the XML files into LPFP files. Check that the XML files have the proper "
    "<APPConfiguration></APPConfiguration> and <MCConfiguration></MCConfiguration> tags";

// Collects the error lines logged on this thread while it lives, so that a failure whose
// reason the lower layers only logged can show that reason too.
class ErrorLines : public spdlog::sinks::base_sink<std::mutex> {
public:
    QStringList lines;

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        if (message.level >= spdlog::level::err && message.thread_id == spdlog::details::os::thread_id()) {
            lines << QString::fromUtf8(message.payload.data(), static_cast<int>(message.payload.size()));
        }
    }
    void flush_() override {}
};

// The device list, or DeviceListError with the meaning of the failure and the reasons logged
// on the way.
std::vector<DeviceInfoNode> listDevices(DeviceBackend& backend) {
    const auto collector = std::make_shared<ErrorLines>();
    const auto logger = spdlog::default_logger();
    logger->sinks().push_back(collector);
    struct Detach {
        std::shared_ptr<spdlog::logger> logger;
        std::shared_ptr<ErrorLines> collector;
        ~Detach() {
            auto& sinks = logger->sinks();
            sinks.erase(std::remove(sinks.begin(), sinks.end(), collector), sinks.end());
        }
    } detach{logger, collector};
    try {
        return enumerateDevices(backend);
    } catch (const std::exception& error) {
        const QString text = qText(error.what());
        collector->lines.removeAll(text);
        throw DeviceListError(error.what(), deviceListFailureReason(text, collector->lines));
    }
}

// A box of the window's own (the converter, the start-up notice): not modal, so that the
// panels go on being usable while it is open.
void showWindowBox(QWidget* window, QMessageBox::Icon icon, const QString& title, const QString& text,
                   const QString& informative = QString()) {
    const BoxText capped = cappedBoxText(text);
    auto* box = new QMessageBox(icon, title, capped.shown, QMessageBox::Ok, window);
    box->setInformativeText(informative);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (!capped.full.isEmpty()) {
        box->setDetailedText(capped.full);
    }
    box->show();
}

QString nodeKey(const DeviceInfoNode& node) {
    return qText(serialNumberOf(node)) + QLatin1Char('\n') + qText(descriptionOf(node));
}

QString panelKey(const varko5ConfigWidget* panel) {
    return panel->serialNumber() + QLatin1Char('\n') + panel->description();
}

} // namespace

MainWindow::MainWindow(std::shared_ptr<DeviceBackend> backend, QWidget* parent)
    : QMainWindow(parent), backend_(std::move(backend)), ui_(std::make_unique<Ui::MainWindow>()) {
    ui_->setupUi(this);
    showRecording();
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

    // The converter stays in view above the panels instead of scrolling away with them; its
    // two rows of the form stay (empty), so the panels still begin at row 2.
    auto* converterBar = new QWidget(ui_->centralwidget);
    converterBar->setObjectName(QStringLiteral("converterBar"));
    auto* converterRow = new QHBoxLayout(converterBar);
    converterRow->setContentsMargins(9, 6, 9, 0);
    ui_->formLayout->removeWidget(ui_->convertLPFPButton);
    ui_->formLayout->removeWidget(ui_->convertXMLButton);
    converterRow->addWidget(ui_->convertLPFPButton);
    converterRow->addWidget(ui_->convertXMLButton);
    converterRow->addStretch(1);
    ui_->centralLayout->insertWidget(0, converterBar);

    // With no device, the empty area says what to do.
    noDeviceHint_ = new QLabel(noDeviceHintText(), ui_->centralwidget);
    noDeviceHint_->setObjectName(QStringLiteral("noDeviceHint"));
    noDeviceHint_->setAlignment(Qt::AlignCenter);
    noDeviceHint_->setWordWrap(true);
    noDeviceHint_->setMargin(24);
    ui_->centralLayout->insertWidget(1, noDeviceHint_);

    // Listing is quick; opening and identifying each controller is left to its panel's worker,
    // so the window appears at once.
    const std::vector<DeviceInfoNode> nodes = listDevices(*backend_);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        addPanel(nodes[i], static_cast<int>(i), false);
    }
    updateHint();
    if (nodes.empty()) {
        QMessageBox::critical(this, QStringLiteral("ERROR"), QStringLiteral("No Varko 5 Devices found"));
    }

    const bool advanced = qEnvironmentVariableIsSet("VARKO5_ADVANCED");
    ui_->convertLPFPButton->setVisible(advanced);
    ui_->convertXMLButton->setVisible(advanced);
    converterBar->setVisible(advanced);
}

void MainWindow::showRecording() {
    recording_ = std::make_shared<RecordingSource>(qgetenv("VARKO5_RECORD").toStdString(), "lpfp_loader",
                                                   VARKO5_VERSION);
    recordingLabel_ = new QLabel(this);
    recordingLabel_->setObjectName(QStringLiteral("recordingLabel"));
    recordingLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (!recording_->enabled()) {
        recordingLabel_->setText(QStringLiteral("Not recording (VARKO5_RECORD is not set)"));
    } else if (!recording_->problem().empty()) {
        // Every write is refused then, rather than made without its entry.
        recordingLabel_->setText(QStringLiteral("Cannot record: ") + qText(recording_->problem()));
        recordingLabel_->setStyleSheet(QStringLiteral("color: #a01010;"));
    } else {
        recordingLabel_->setText(QStringLiteral("Recording to: ") + qText(recording_->shown()));
    }
    statusBar()->addPermanentWidget(recordingLabel_);
}

void MainWindow::updateHint() {
    noDeviceHint_->setVisible(panels().empty());
}

MainWindow::~MainWindow() = default;

varko5ConfigWidget* MainWindow::addPanel(const DeviceInfoNode& node, int index, bool inSerialOrder) {
    auto* panel = new varko5ConfigWidget(ui_->panelArea);
    panel->setRecording(recording_);
    panel->setSerialNumber(qText(serialNumberOf(node)));
    panel->setDescription(qText(descriptionOf(node)));
    panel->attachListedDevice(backend_, node, index);
    // In serial-number order, so that a bridge plugged in later finds its place among the
    // others; at start-up the driver's order is kept.
    int row = ui_->formLayout->rowCount();
    if (inSerialOrder) {
        for (varko5ConfigWidget* other : panels()) {
            if (other->serialNumber() > panel->serialNumber()) {
                QFormLayout::ItemRole role = QFormLayout::FieldRole;
                ui_->formLayout->getWidgetPosition(other, &row, &role);
                break;
            }
        }
    }
    ui_->formLayout->insertRow(row, QString(), panel);
    connect(panel, &varko5ConfigWidget::removeRequested, this, [this, panel] { removePanel(panel); });
    updateHint();
    return panel;
}

void MainWindow::removePanel(varko5ConfigWidget* panel) {
    if (panel->isBusy() || !panel->isDisconnected()) {
        return;
    }
    // The row's layout items are ours once taken; the panel itself goes later, below.
    const QFormLayout::TakeRowResult taken = ui_->formLayout->takeRow(panel);
    if (taken.labelItem != nullptr) {
        delete taken.labelItem->widget();
        delete taken.labelItem;
    }
    delete taken.fieldItem;
    panel->hide();
    // Later: the request comes from the panel's own button.
    panel->deleteLater();
    updateHint();
    statusBar()->showMessage(tr("Removed %1").arg(panel->deviceName()));
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
        nodes = listDevices(*backend_);
    } catch (const DeviceListError& error) {
        spdlog::error("{}", error.what());
        // The text and its meaning in the status bar; the reasons too in a box.
        statusBar()->showMessage(qText(error.what()) + QStringLiteral(" - ") +
                                 error.reason().section(QLatin1Char('\n'), 0, 0));
        showWindowBox(this, QMessageBox::Critical, QStringLiteral("Error"), qText(error.what()),
                      error.reason());
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
            addPanel(nodes[i], static_cast<int>(i), true);
            ++added;
        } else if ((*match)->wantsReconnect() && !(*match)->isBusy()) {
            (*match)->attachListedDevice(backend_, nodes[i], static_cast<int>(i));
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
    // The window manager's decoration. Before the window is first shown it has none yet, so a
    // title bar and borders are reckoned instead; otherwise the status bar would end up below
    // the screen.
    QSize frame = frameGeometry().size() - size();
    if (frame.width() <= 0 && frame.height() <= 0) {
        const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
        const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
        frame = QSize(2 * border, title + 2 * border);
    }
    const int scrollBar = ui_->panelScrollArea->verticalScrollBar()->sizeHint().width();
    int chrome = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    for (QWidget* fixed : {static_cast<QWidget*>(findChild<QWidget*>(QStringLiteral("converterBar"))),
                           static_cast<QWidget*>(noDeviceHint_)}) {
        if (fixed != nullptr && !fixed->isHidden()) {
            chrome += fixed->sizeHint().height();
        }
    }
    const int roomWidth = room.width() - frame.width();
    const int roomHeight = room.height() - frame.height();
    // Wide enough for the file paths: up to 1200 pixels when the screen has them (the whole
    // width of a 1280-pixel screen), never less than the panels need.
    const int wanted = std::max({800, content.width() + scrollBar, std::min(1200, roomWidth)});
    const int width = std::min(wanted, roomWidth);
    const int height = std::min(std::max(183, content.height() + chrome), roomHeight);
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
        // Once the window manager has framed the window, the frame is known: fit again.
        QTimer::singleShot(0, this, [this] { fitToScreen(); });
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
    // Read and checked once; the conversion writes what was checked.
    PreparedInput lpfp;
    if (!lpfpPath.isEmpty()) {
        lpfp = prepareLpfpInput(lpfpPath.toStdString());
        const QString problem = lpfpFileProblem(lpfp);
        if (!problem.isEmpty()) {
            spdlog::error("{}: {}", lpfpPath.toStdString(), problem.toStdString());
            showWindowBox(this, QMessageBox::Critical, QStringLiteral("Error"),
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
        converted =
            lpfpTextToXmlFiles(lpfp.input.text, lpfp.input.path, appPath.toStdString(), mcPath.toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", error.what());
        reason = qText(error.what());
    }
    if (converted) {
        showWindowBox(this, QMessageBox::Information, QStringLiteral("SUCCESS"),
                      QStringLiteral("XML files created"));
    } else {
        showWindowBox(this, QMessageBox::Critical, QStringLiteral("Error"),
                      QString::fromLatin1(LPFP_TO_XML_FAILURE) +
                          (reason.isEmpty() ? QString() : QStringLiteral("\n") + reason));
    }
}

void MainWindow::on_convertXMLButton_clicked() {
    const QString appPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open App Config XML"), tr("XML (*.xml *.XML)")});
    const QString mcPath = askForFile(
        {FileDialogKind::Open, this, QStringLiteral("Open MC Config XML"), tr("XML (*.xml *.XML)")});
    // Each read and checked once; the conversion writes what was checked.
    PreparedInput app;
    PreparedInput mc;
    QStringList problems;
    if (!appPath.isEmpty()) {
        app = prepareXmlInput(appPath.toStdString(), RecordKind::App);
        problems << xmlFileProblem(app);
    }
    if (!mcPath.isEmpty()) {
        mc = prepareXmlInput(mcPath.toStdString(), RecordKind::Mc);
        problems << xmlFileProblem(mc);
    }
    problems.removeAll(QString());
    if (!problems.isEmpty()) {
        spdlog::error("{}", problems.join(QStringLiteral("; ")).toStdString());
        showWindowBox(this, QMessageBox::Critical, QStringLiteral("Error"),
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
        converted = xmlTextsToLpfp(app.input.text, app.input.path, mc.input.text, mc.input.path,
                                   lpfpPath.toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", error.what());
        reason = qText(error.what());
    }
    if (converted) {
        showWindowBox(this, QMessageBox::Information, QStringLiteral("SUCCESS"),
                      QStringLiteral("LPFP file created"));
    } else {
        showWindowBox(this, QMessageBox::Critical, QStringLiteral("Error"),
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

int runLoader(QApplication& app, std::shared_ptr<DeviceBackend> backend) {
    std::unique_ptr<MainWindow> window;
    try {
        window = std::make_unique<MainWindow>(std::move(backend));
    } catch (const std::exception& error) {
        // Without its device list the program has nothing to show; say why before ending.
        spdlog::error("{}", error.what());
        QMessageBox box(QMessageBox::Critical, QStringLiteral("ERROR"), QString::fromStdString(error.what()),
                        QMessageBox::Ok);
        if (const auto* listing = dynamic_cast<const DeviceListError*>(&error)) {
            box.setInformativeText(listing->reason());
        }
        box.exec();
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
