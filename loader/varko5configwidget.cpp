#include "loader/varko5configwidget.h"
#include "ui_varko5configwidget.h"

#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/session.h"
#include "loader/file_dialogs.h"
#include "loader/panel_texts.h"
#include "loader/qt_text.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTextEdit>
#include <QTime>
#include <QtGlobal>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The progress log asks for about eight lines' height, so that an update's steps can be
// followed; it takes whatever more the window gives.
class ProgressLog : public QTextEdit {
public:
    using QTextEdit::QTextEdit;
    QSize sizeHint() const override {
        return {QTextEdit::sizeHint().width(), fontMetrics().lineSpacing() * 8 + 12};
    }
};

// The words of the motor and the application rows.
struct XmlRowTexts {
    const char* browseCaption; // the file dialog's
    const char* invalidText;   // a file that does not hold the row's record
    const char* activity;      // while the update runs
    const char* successText;
    const char* failureText;
};

constexpr XmlRowTexts MC_ROW_TEXTS{
    "Open MC Config XML", "Not a valid MC XML file", "Updating the MC configuration...",
    "MC Configuration updated successfully", "MC Configuration Validation Failed."};
constexpr XmlRowTexts APP_ROW_TEXTS{
    "Open App Config XML", "Not a valid APP XML file", "Updating the APP configuration...",
    "APP Configuration updated successfully", "APP Configuration Validation Failed."};

const XmlRowTexts& xmlRowTexts(RecordKind record) {
    return record == RecordKind::App ? APP_ROW_TEXTS : MC_ROW_TEXTS;
}

// Reads a record (App or Mc) into its XML document, or both (None) into an LPFP file, at path;
// what was read goes into findings. A record that cannot be read throws before anything is
// written, so a damaged reply never ends up in a file.
void readAndSave(ControllerSession& session, RecordKind record, RecordSet set, const std::string& path,
                 ReadFindings& findings) {
    switch (record) {
    case RecordKind::Mc:
        findings.mc = readMcRecord(session, set);
        saveMcConfigXml(*findings.mc, path);
        return;
    case RecordKind::App:
        findings.app = readAppRecord(session, set);
        saveAppConfigXml(*findings.app, path);
        return;
    case RecordKind::None:
        break;
    }
    const LpfpConfiguration pair = readRecords(session, set);
    findings.app = pair.app;
    findings.mc = pair.mc;
    writeLpfpFile(pair, path);
}

// The bridge itself went away during an exchange (as opposed to a silent controller).
bool isConnectionLoss(const QString& error) {
    return error.contains(QStringLiteral("Lost the connection"));
}

} // namespace

varko5ConfigWidget::varko5ConfigWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::varko5ConfigWidget>()),
      worker_(std::make_unique<DeviceWorker>()) {
    ui_->setupUi(this);

    // While the worker is busy: what it does, and a bar that moves. When the panel cannot be
    // used: why.
    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    statusLabel_->setWordWrap(true);
    statusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLabel_->hide();
    busyIndicator_ = new QProgressBar(this);
    busyIndicator_->setObjectName(QStringLiteral("busyIndicator"));
    busyIndicator_->setRange(0, 0);
    busyIndicator_->setTextVisible(false);
    busyIndicator_->setMaximumWidth(160);
    busyIndicator_->hide();
    auto* statusRow = new QHBoxLayout;
    statusRow->setObjectName(QStringLiteral("statusLayout"));
    statusRow->addWidget(busyIndicator_);
    statusRow->addWidget(statusLabel_, 1);
    ui_->formLayout->setLayout(9, QFormLayout::SpanningRole, statusRow);

    // The outcome of the last operation stays in view after its box is closed.
    resultLabel_ = new QLabel(this);
    resultLabel_->setObjectName(QStringLiteral("resultLabel"));
    resultLabel_->setWordWrap(true);
    resultLabel_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    resultLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultLabel_->hide();
    removeButton_ = new QPushButton(QStringLiteral("Remove"), this);
    removeButton_->setObjectName(QStringLiteral("remove_PushButton"));
    removeButton_->setToolTip(QStringLiteral("Remove this panel; its bridge is no longer listed"));
    removeButton_->hide();
    statusRow->addWidget(removeButton_);
    connect(removeButton_, &QPushButton::clicked, this, &varko5ConfigWidget::removeRequested);
    ui_->formLayout->insertRow(10, resultLabel_);

    // The update actions report their steps here, below the rows, so that the user can follow
    // an update; the log takes the height the window gives the panel.
    progressLog_ = new ProgressLog(this);
    progressLog_->setObjectName(QStringLiteral("progressLog"));
    progressLog_->setReadOnly(true);
    progressLog_->setMinimumHeight(80);
    progressLog_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Shown with its first line: a panel that has done nothing yet carries no empty box.
    progressLog_->hide();
    ui_->formLayout->addRow(progressLog_);

    // A path typed (or pasted) into a row is as good as one chosen with Browse; Update checks
    // the file before it sends anything.
    const std::pair<QLineEdit*, QPushButton*> rows[] = {{ui_->motorConfigFile_LineEdit, ui_->updateMC},
                                                        {ui_->appConfigFile_LineEdit, ui_->updateAPP},
                                                        {ui_->lpfpConfigFile_LineEdit, ui_->updateLPFP}};
    for (const auto& [edit, update] : rows) {
        edit->setMinimumWidth(220);
        connect(edit, &QLineEdit::textEdited, this, [this, update = update](const QString& text) {
            const bool enable = !text.trimmed().isEmpty() && !rowsDisabled_;
            for (auto& saved : enabledBeforeBusy_) {
                if (saved.first == update) {
                    saved.second = enable; // takes effect when the running work ends
                    return;
                }
            }
            update->setEnabled(enable);
        });
    }

    // Every user may look at the parameters, so the button sits in the LPFP row. It is wired
    // by hand: the slots connected by name are the form's own.
    parametersButton_ = new QPushButton(QStringLiteral("Parameters"), this);
    parametersButton_->setObjectName(QStringLiteral("parameters_PushButton"));
    parametersButton_->setEnabled(false);
    ui_->horizontalLayout_4->addWidget(parametersButton_);
    connect(parametersButton_, &QPushButton::clicked, this, &varko5ConfigWidget::openParameters);

    // The controller's entries in the production record; it asks nothing of the controller, so
    // it stays usable while the panel works. Enabled once the panel knows where it records.
    historyButton_ = new QPushButton(QStringLiteral("History"), this);
    historyButton_->setObjectName(QStringLiteral("history_PushButton"));
    historyButton_->setEnabled(false);
    historyButton_->setToolTip(QStringLiteral("Not recording: VARKO5_RECORD is not set"));
    ui_->horizontalLayout_4->addWidget(historyButton_);
    connect(historyButton_, &QPushButton::clicked, this, &varko5ConfigWidget::openHistory);

    ui_->serialNumberLabel->hide();
    ui_->serialNumberLineEdit->hide();

    const bool advanced = qEnvironmentVariableIsSet("VARKO5_ADVANCED");
    if (advanced) {
        spdlog::set_level(spdlog::level::trace);
    }
    for (QWidget* widget : configurationControls()) {
        widget->setVisible(advanced);
    }
    // The LPFP row is the one row every user sees, without its Default button.
    for (QWidget* widget : {static_cast<QWidget*>(ui_->lPFPConfigurationLabel),
                            static_cast<QWidget*>(ui_->lpfpConfigFile_LineEdit),
                            static_cast<QWidget*>(ui_->browseLPFPConfig_PushButton),
                            static_cast<QWidget*>(ui_->updateLPFP), static_cast<QWidget*>(ui_->getLpfp)}) {
        widget->setVisible(true);
    }

    connect(worker_.get(), &DeviceWorker::busyChanged, this, &varko5ConfigWidget::showBusy);
    connect(worker_.get(), &DeviceWorker::identified, this, &varko5ConfigWidget::onIdentified);
    connect(worker_.get(), &DeviceWorker::opened, this,
            [this](quint32 chipId) { ui_->chipIDLineEdit->setText(chipIdText(chipId)); });
    updateTitle();
}

varko5ConfigWidget::~varko5ConfigWidget() {
    // First, while the rest of the panel still exists: the worker lets its running exchange
    // end and drops its result.
    worker_.reset();
}

void varko5ConfigWidget::setSerialNumber(const QString& text) {
    ui_->serialNumberLineEdit->setText(text);
    updateTitle();
}

void varko5ConfigWidget::setDescription(const QString& text) {
    ui_->descriptionLineEdit->setText(text);
    updateTitle();
}

QString varko5ConfigWidget::serialNumber() const {
    return ui_->serialNumberLineEdit->text();
}

QString varko5ConfigWidget::description() const {
    return ui_->descriptionLineEdit->text();
}

QString varko5ConfigWidget::deviceName() const {
    return deviceTitle(ui_->serialNumberLineEdit->text(), ui_->descriptionLineEdit->text());
}

void varko5ConfigWidget::updateTitle() {
    ui_->deviceFrame->setTitle(deviceName());
}

void varko5ConfigWidget::attachListedDevice(std::shared_ptr<DeviceBackend> backend,
                                            const DeviceInfoNode& node, int index) {
    activity_ = QStringLiteral("Opening and identifying the controller...");
    worker_->openAndIdentify(std::move(backend), node, index);
}

bool varko5ConfigWidget::isBusy() const {
    return worker_->busy();
}

QString varko5ConfigWidget::unavailableReason() const {
    return unavailable_;
}

bool varko5ConfigWidget::wantsReconnect() const {
    using Problem = ControllerIdentity::Problem;
    return disconnected_ || lastExchangeFailed_ || problem_ == Problem::NoAnswer ||
           problem_ == Problem::InUse || problem_ == Problem::OpenFailed;
}

void varko5ConfigWidget::markDisconnected() {
    disconnected_ = true;
    applyAvailability();
}

void varko5ConfigWidget::onIdentified(const ControllerIdentity& identity) {
    identifiedOnce_ = true;
    disconnected_ = false;
    lastExchangeFailed_ = false;
    problem_ = identity.problem;
    openFailure_ =
        identity.problem == ControllerIdentity::Problem::OpenFailed ? identity.detail : std::string();
    ui_->chipIDLineEdit->setText(identity.opened ? chipIdText(identity.chipId) : QString());
    ui_->versionLineEdit->setText(
        identity.version.valid
            ? QStringLiteral("%1.%2").arg(identity.version.major).arg(identity.version.minor)
            : QString());
    applyAvailability();
    emit identified();
}

// The rows follow what is known of the controller; while the worker is busy they wait, and
// the end of the work applies it.
void varko5ConfigWidget::applyAvailability() {
    if (isBusy()) {
        return;
    }
    if (disconnected_) {
        unavailable_ = disconnectedText();
    } else {
        ControllerIdentity identity;
        identity.problem = problem_;
        identity.detail = openFailure_;
        const QStringList version = ui_->versionLineEdit->text().split(QLatin1Char('.'));
        if (version.size() == 2) {
            identity.version = FirmwareVersion{version[0].toInt(), version[1].toInt(), true};
        }
        unavailable_ = unavailableText(identity);
    }
    if (!unavailable_.isEmpty()) {
        disableConfigurationRows();
        // In the colour of a warning, so that it is not read as a passing remark.
        statusLabel_->setStyleSheet(QStringLiteral("color: #a01010;"));
        statusLabel_->setText(unavailable_);
        statusLabel_->show();
        removeButton_->setVisible(disconnected_);
        // Reading is harmless: the parameters of a controller with other firmware can be seen,
        // only not written.
        parametersButton_->setEnabled(problem_ == ControllerIdentity::Problem::Firmware && !disconnected_);
    } else {
        removeButton_->hide();
        if (rowsDisabled_) {
            enableConfigurationRows();
        }
        parametersButton_->setEnabled(true);
        statusLabel_->clear();
        statusLabel_->hide();
    }
}

void varko5ConfigWidget::showBusy(bool busy) {
    if (busy) {
        enabledBeforeBusy_.clear();
        for (QPushButton* button : buttons()) {
            enabledBeforeBusy_.emplace_back(button, button->isEnabled());
            button->setEnabled(false);
        }
        statusLabel_->setStyleSheet(QString());
        statusLabel_->setText(activity_);
        statusLabel_->show();
        busyIndicator_->show();
    } else {
        for (const auto& [button, enabled] : enabledBeforeBusy_) {
            button->setEnabled(enabled);
        }
        enabledBeforeBusy_.clear();
        busyIndicator_->hide();
        statusLabel_->hide();
        activity_.clear();
        applyAvailability();
    }
    emit busyChanged(busy);
}

void varko5ConfigWidget::runOnDevice(const QString& activity, DeviceWorker::Work work,
                                     DeviceWorker::ProgressHandler onProgress, DeviceWorker::Done done) {
    activity_ = activity;
    if (isBusy()) {
        statusLabel_->setText(activity_);
    }
    worker_->submit(std::move(work), std::move(onProgress), std::move(done));
}

std::vector<QWidget*> varko5ConfigWidget::configurationControls() const {
    return {ui_->MCConfigurationLabel,
            ui_->motorConfigFile_LineEdit,
            ui_->browseMotorConfig_PushButton,
            ui_->updateMC,
            ui_->getMC,
            ui_->defaultMC,
            ui_->APPConfigurationLabel,
            ui_->appConfigFile_LineEdit,
            ui_->browseAppConfig_PushButton,
            ui_->updateAPP,
            ui_->getApp,
            ui_->defaultApp,
            ui_->lPFPConfigurationLabel,
            ui_->lpfpConfigFile_LineEdit,
            ui_->browseLPFPConfig_PushButton,
            ui_->updateLPFP,
            ui_->getLpfp,
            ui_->defaultLPFP};
}

std::vector<QPushButton*> varko5ConfigWidget::buttons() const {
    return {ui_->browseMotorConfig_PushButton,
            ui_->updateMC,
            ui_->getMC,
            ui_->defaultMC,
            ui_->browseAppConfig_PushButton,
            ui_->updateAPP,
            ui_->getApp,
            ui_->defaultApp,
            ui_->browseLPFPConfig_PushButton,
            ui_->updateLPFP,
            ui_->getLpfp,
            ui_->defaultLPFP,
            parametersButton_};
}

void varko5ConfigWidget::disableConfigurationRows() {
    for (QWidget* widget : configurationControls()) {
        widget->setEnabled(false);
    }
    parametersButton_->setEnabled(false);
    rowsDisabled_ = true;
}

void varko5ConfigWidget::enableConfigurationRows() {
    for (QWidget* widget : configurationControls()) {
        widget->setEnabled(true);
    }
    // An Update button waits for its file, as it did at the start.
    ui_->updateMC->setEnabled(!ui_->motorConfigFile_LineEdit->text().isEmpty());
    ui_->updateAPP->setEnabled(!ui_->appConfigFile_LineEdit->text().isEmpty());
    ui_->updateLPFP->setEnabled(!ui_->lpfpConfigFile_LineEdit->text().isEmpty());
    rowsDisabled_ = false;
}

void varko5ConfigWidget::openParameters() {
    if (parameterView_) {
        parameterView_->raise();
        parameterView_->activateWindow();
        return;
    }
    // The serial number tells two bridges of the same kind apart; their descriptions and chip
    // identifiers can be equal.
    const QString name = deviceName();
    parameterView_ = new ParameterView(
        [this](QObject* context, SessionJob job, SessionDone done) {
            runOnSession(context, std::move(job), std::move(done));
        },
        name, problem_ == ControllerIdentity::Problem::None && !disconnected_, this);
    parameterView_->setRecording(recording_);
    parameterView_->setAttribute(Qt::WA_DeleteOnClose);
    // A window of its own: the other panels (and this one's rows) stay usable while it is open.
    parameterView_->setWindowModality(Qt::NonModal);
    parameterView_->show();
    parameterView_->load();
}

void varko5ConfigWidget::setRecording(std::shared_ptr<RecordingSource> recording) {
    recording_ = std::move(recording);
    const bool enabled = recording_ && recording_->enabled();
    historyButton_->setEnabled(enabled);
    historyButton_->setToolTip(enabled ? QStringLiteral("The entries of this controller in the record")
                                       : QStringLiteral("Not recording: VARKO5_RECORD is not set"));
}

void varko5ConfigWidget::openHistory() {
    if (historyDialog_) {
        historyDialog_->raise();
        historyDialog_->activateWindow();
        return;
    }
    historyDialog_ = new HistoryDialog(recording_, serialNumber(), deviceName(), this);
    historyDialog_->setAttribute(Qt::WA_DeleteOnClose);
    historyDialog_->setWindowModality(Qt::NonModal);
    historyDialog_->show();
    historyDialog_->load();
}

void varko5ConfigWidget::runOnSession(QObject* context, SessionJob job, SessionDone done) {
    // The job runs on the panel's worker like every other exchange; the answer comes back
    // through the event loop, and only while the view that asked is still there.
    const QPointer<QObject> target(context);
    runOnDevice(
        QStringLiteral("Working for the parameter view..."),
        [job = std::move(job)](ControllerSession& session, const ProgressFn&) { job(session); }, {},
        [target, done = std::move(done)](const QString& error) {
            if (target) {
                done(error);
            }
        });
}

void varko5ConfigWidget::appendProgress(const QString& message) {
    progressLog_->show();
    progressLog_->append(stampedText(QTime::currentTime(), message));
}

QString varko5ConfigWidget::lastResult() const {
    return resultLabel_->text();
}

void varko5ConfigWidget::noteFailure(const QString& error) {
    // A silent controller or a lost bridge is tried again by the next Rescan; a lost bridge is
    // shown as gone at once, rather than looking ready until the next action fails.
    if (error.startsWith(QString::fromLatin1(TIMED_OUT_TEXT)) || isConnectionLoss(error)) {
        lastExchangeFailed_ = true;
    }
    if (isConnectionLoss(error)) {
        markDisconnected();
    }
}

void varko5ConfigWidget::showBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                                 const QString& backup) {
    // The panel keeps the outcome in view after the box is gone.
    QString result = stampedText(QTime::currentTime(),
                                 title + QStringLiteral(": ") + text.section(QLatin1Char('\n'), 0, 0));
    if (!backup.isEmpty()) {
        result += QStringLiteral("\nBackup: ") + QFileInfo(backup).fileName();
        resultLabel_->setToolTip(backup);
    } else {
        resultLabel_->setToolTip(QString());
    }
    resultLabel_->setText(result);
    resultLabel_->setStyleSheet(icon == QMessageBox::Critical ? QStringLiteral("color: #a01010;")
                                                              : QString());
    resultLabel_->show();
    if (dropResults_) {
        spdlog::info("{}: {}: {}", deviceName().toStdString(), title.toStdString(), text.toStdString());
        return;
    }
    const BoxText capped = cappedBoxText(text);
    // Not modal: the other panels go on working and can be used while this box is open. It
    // belongs to this panel (it goes with it) and names its device.
    auto* box = new QMessageBox(icon, title, capped.shown, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QString informative = QStringLiteral("Device: ") + deviceName();
    if (!backup.isEmpty()) {
        informative += QStringLiteral("\nBackup saved to: ") + backup;
    }
    box->setInformativeText(informative);
    if (!capped.full.isEmpty()) {
        box->setDetailedText(capped.full);
    }
    // A result that arrives while the user is busy elsewhere (another panel's file dialog or
    // box) appears without taking the keyboard.
    QWidget* active = QApplication::activeWindow();
    if (QApplication::activeModalWidget() != nullptr || (active != nullptr && active != window())) {
        box->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    // Over the part of the panel that can be seen, so that the box is read as this device's;
    // a panel scrolled out of sight is brought in first.
    for (QWidget* ancestor = parentWidget(); ancestor != nullptr; ancestor = ancestor->parentWidget()) {
        if (auto* scroller = qobject_cast<QScrollArea*>(ancestor)) {
            scroller->ensureWidgetVisible(this, 0, 0);
            break;
        }
    }
    box->adjustSize();
    QRect area = visibleRegion().boundingRect();
    if (area.isEmpty()) {
        area = rect();
    }
    QPoint topLeft = mapToGlobal(area.center()) - QPoint(box->width() / 2, box->height() / 2);
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        topLeft.setX(
            std::clamp(topLeft.x(), room.left(), std::max(room.left(), room.right() - box->width())));
        topLeft.setY(
            std::clamp(topLeft.y(), room.top(), std::max(room.top(), room.bottom() - box->height())));
    }
    box->move(topLeft);
    resultBox_ = box;
    box->show();
}

// ---- Browse -------------------------------------------------------------------------------

void varko5ConfigWidget::browseXml(RecordKind record) {
    const XmlRowTexts& texts = xmlRowTexts(record);
    QLineEdit* edit = record == RecordKind::App ? ui_->appConfigFile_LineEdit : ui_->motorConfigFile_LineEdit;
    QPushButton* update = record == RecordKind::App ? ui_->updateAPP : ui_->updateMC;
    const QString path = askForFile({FileDialogKind::Open, this, QString::fromLatin1(texts.browseCaption),
                                     QStringLiteral("XML (*.xml *.xml)")});
    if (path.isEmpty()) {
        return;
    }
    const QString problem = xmlFileProblem(prepareXmlInput(path.toStdString(), record));
    if (problem.isEmpty()) {
        edit->setText(path);
        update->setEnabled(true);
        return;
    }
    spdlog::error("{}", texts.invalidText);
    showBox(QMessageBox::Critical, QStringLiteral("Error"),
            QString::fromLatin1(texts.invalidText) + QStringLiteral("\n") + problem);
    update->setEnabled(false);
}

void varko5ConfigWidget::on_browseMotorConfig_PushButton_clicked() {
    browseXml(RecordKind::Mc);
}

void varko5ConfigWidget::on_browseAppConfig_PushButton_clicked() {
    browseXml(RecordKind::App);
}

void varko5ConfigWidget::on_browseLPFPConfig_PushButton_clicked() {
    const QString path = askForFile({FileDialogKind::Open, this, QStringLiteral("Open LPFP Config"),
                                     QStringLiteral("LPFP (*.lpfp *.LPFP)")});
    if (path.isEmpty()) {
        return;
    }
    const QString problem = lpfpFileProblem(prepareLpfpInput(path.toStdString()));
    if (problem.isEmpty()) {
        ui_->lpfpConfigFile_LineEdit->setText(path);
        ui_->updateLPFP->setEnabled(true);
        return;
    }
    spdlog::error("{}", problem.toStdString());
    showBox(QMessageBox::Critical, QStringLiteral("Error"), problem);
    ui_->updateLPFP->setEnabled(false);
    ui_->lpfpConfigFile_LineEdit->clear();
}

// ---- Current and Default ------------------------------------------------------------------

void varko5ConfigWidget::saveFromDevice(const SaveRow& row) {
    const QString path = askForFile(
        {FileDialogKind::Save, this, QString::fromLatin1(row.caption), QString::fromLatin1(row.filter)});
    if (path.isEmpty()) {
        return;
    }
    const std::string file = path.toStdString();
    auto recordFailure = std::make_shared<std::string>();
    runOnDevice(
        QStringLiteral("Saving to %1...").arg(path),
        [file, record = row.record, set = row.set, recordFailure,
         source = recording_](ControllerSession& session, const ProgressFn&) {
            std::shared_ptr<const Recording> recording;
            try {
                recording = openedRecording(source);
            } catch (const std::exception& error) {
                throw RecordError(std::string("Nothing was read from the controller: ") + error.what());
            }
            const char* operation =
                set == RecordSet::Default ? operation_word::SAVE_DEFAULTS : operation_word::SAVE_CURRENT;
            *recordFailure = recordedRead(recording.get(), session, operation, [&](ReadFindings& findings) {
                session.link().flush();
                readAndSave(session, record, set, file, findings);
                findings.output = file;
            });
        },
        {},
        [this, path, successPrefix = row.successPrefix, failureText = row.failureText,
         recordFailure](const QString& error) {
            if (error.isEmpty() && !recordFailure->empty()) {
                // The file is written; only its entry in the record is not complete.
                spdlog::error("{}", *recordFailure);
                showBox(QMessageBox::Warning, QStringLiteral("Record failed"),
                        QString::fromLatin1(successPrefix) + path + QStringLiteral("\n") +
                            qText(*recordFailure));
                return;
            }
            if (error.isEmpty()) {
                showBox(QMessageBox::Information, QStringLiteral("SUCCESS"),
                        QString::fromLatin1(successPrefix) + path);
                return;
            }
            spdlog::error("{}", failureText);
            spdlog::error("{}", error.toStdString());
            noteFailure(error);
            showBox(QMessageBox::Critical, QStringLiteral("Error"),
                    QString::fromLatin1(failureText) + QStringLiteral("\n") + error);
        });
}

void varko5ConfigWidget::on_getMC_clicked() {
    saveFromDevice({"Save MC Configuration", "XML (*.xml)", "MC Configuration saved to: ",
                    "Failed at retrieving MC Configuration", RecordKind::Mc, RecordSet::Current});
}

void varko5ConfigWidget::on_getApp_clicked() {
    saveFromDevice({"Save APP Configuration", "XML (*.xml)", "App Configuration saved to: ",
                    "Failed at retrieving App Configuration", RecordKind::App, RecordSet::Current});
}

void varko5ConfigWidget::on_getLpfp_clicked() {
    saveFromDevice({"Save LPFP Configuration", "LPFP Files(*.lpfp)", "LPFP Configuration saved to: ",
                    "Failed at retrieving LPFP Configuration", RecordKind::None, RecordSet::Current});
}

void varko5ConfigWidget::on_defaultMC_clicked() {
    saveFromDevice({"Save MC Configuration", "XML (*.xml)", "Default MC Configuration saved to: ",
                    "Failed at retrieving Default MC Configuration", RecordKind::Mc, RecordSet::Default});
}

void varko5ConfigWidget::on_defaultApp_clicked() {
    saveFromDevice({"Save APP Configuration", "XML (*.xml)", "Default App Configuration saved to: ",
                    "Failed at retrieving Default App Configuration", RecordKind::App, RecordSet::Default});
}

void varko5ConfigWidget::on_defaultLPFP_clicked() {
    saveFromDevice({"Save LPFP Configuration", "LPFP Files(*.lpfp)", "Default LPFP Configuration saved to: ",
                    "Failed at retrieving Default LPFP Configuration", RecordKind::None, RecordSet::Default});
}

// ---- Update -------------------------------------------------------------------------------
// The file is checked again before anything is sent, whether it was browsed or typed. The
// controller's current records are saved first (as lpfp_cli does); a backup that cannot be
// made stops the update. The base of every update is the controller's default record, so
// keys missing from the file take the firmware's defaults.

void varko5ConfigWidget::reportUpdateError(const char* failureText, const QString& reason) {
    spdlog::error("{} {}", failureText, reason.toStdString());
    showBox(QMessageBox::Critical, QStringLiteral("Error"),
            QString::fromLatin1(failureText) + QStringLiteral("\n") + reason);
}

std::shared_ptr<const Recording>
varko5ConfigWidget::openedRecording(const std::shared_ptr<RecordingSource>& source) {
    if (!source || !source->enabled()) {
        return nullptr;
    }
    if (!source->problem().empty()) {
        throw RecordError(source->problem());
    }
    return source->get();
}

void varko5ConfigWidget::startUpdate(const QString& activity, const char* successText,
                                     const char* failureText, UpdateKind update, UpdateFn apply,
                                     const ApplyOptions& options) {
    auto result = std::make_shared<ApplyResult>();
    auto watch = std::make_shared<BackupWatch>();
    watch->pending = options.backup.enabled;
    runOnDevice(
        activity,
        [result, apply, options, source = recording_](ControllerSession& session, const ProgressFn& report) {
            std::shared_ptr<const Recording> recording;
            try {
                recording = openedRecording(source);
            } catch (const std::exception& error) {
                result->error = std::string("Nothing was sent to the controller: ") + error.what();
                result->recordError = result->error;
                return;
            }
            *result = apply(session, options, report, recording.get());
        },
        [this, watch, update](const OpEvent& event) {
            watch->see(event);
            for (const StepLine& line : updateStepLines(update, event)) {
                if (line.level != spdlog::level::off) {
                    spdlog::log(line.level, "{}", line.text.toStdString());
                }
                if (line.progress) {
                    appendProgress(line.text);
                }
            }
        },
        [this, result, watch, successText, failureText](const QString& error) {
            const QString backup = result->backup ? qText(result->backup->string()) : QString();
            // The record could not be begun: nothing was sent, nothing backed up.
            if (error.isEmpty() && !result->recordError.empty() && result->recordError == result->error) {
                spdlog::error("{}", result->error);
                showBox(QMessageBox::Critical, QStringLiteral("Error"), qText(result->error));
                return;
            }
            // The outcome stands as the controller gave it; only its entry is not complete.
            const QString recordFailure =
                result->recordError.empty() ? QString() : QStringLiteral("\n") + qText(result->recordError);
            if (!recordFailure.isEmpty()) {
                spdlog::error("{}", result->recordError);
            }
            if (error.isEmpty() && result->ok() && !recordFailure.isEmpty()) {
                showBox(QMessageBox::Warning, QStringLiteral("Record failed"),
                        QString::fromLatin1(successText) + recordFailure, backup);
            } else if (!error.isEmpty()) {
                noteFailure(error);
                spdlog::error("{} {}", failureText, error.toStdString());
                showBox(QMessageBox::Critical, QStringLiteral("Error"),
                        QString::fromLatin1(failureText) + QStringLiteral("\n") + error, backup);
            } else if (result->ok()) {
                // Verified by the read-back although the controller's answer was unreadable.
                const QString warning = applyResultDetail(*result);
                if (!warning.isEmpty()) {
                    spdlog::warn("{}", warning.toStdString());
                    appendProgress(warning);
                }
                showBox(QMessageBox::Information, QStringLiteral("SUCCESS"), QString::fromLatin1(successText),
                        backup);
            } else if (!result->refusedValues.empty()) {
                // Checked before sending: nothing reached the controller, so nothing "failed
                // validation" there.
                spdlog::error("{}", result->error);
                showBox(QMessageBox::Critical, QStringLiteral("Error"), qText(result->error) + recordFailure);
            } else {
                const QString detail = applyResultDetail(*result, watch->stopped);
                if (!result->error.empty()) {
                    spdlog::error("{} {}", failureText, result->error);
                    noteFailure(qText(result->error));
                }
                showBox(QMessageBox::Critical, QStringLiteral("Error"),
                        QString::fromLatin1(failureText) +
                            (detail.isEmpty() ? QString() : QStringLiteral("\n") + detail) + recordFailure,
                        backup);
            }
        });
}

void varko5ConfigWidget::updateXml(RecordKind record) {
    const XmlRowTexts& texts = xmlRowTexts(record);
    const QLineEdit* edit =
        record == RecordKind::App ? ui_->appConfigFile_LineEdit : ui_->motorConfigFile_LineEdit;
    const QString path = edit->text();
    if (path.isEmpty()) {
        return;
    }
    // Read and checked once, here; the worker applies the text that was checked.
    PreparedInput prepared = prepareXmlInput(path.toStdString(), record);
    if (const QString problem = xmlFileProblem(prepared); !problem.isEmpty()) {
        reportUpdateError(texts.invalidText, problem);
        return;
    }
    ApplyOptions options;
    options.backup = backup_;
    startUpdate(
        QString::fromLatin1(texts.activity), texts.successText, texts.failureText,
        record == RecordKind::App ? UpdateKind::App : UpdateKind::Mc,
        [input = std::move(prepared.input), record](ControllerSession& session, const ApplyOptions& chosen,
                                                    const ProgressFn& report, const Recording* recording) {
            const ApplyInput* app = record == RecordKind::App ? &input : nullptr;
            const ApplyInput* mc = record == RecordKind::Mc ? &input : nullptr;
            return recordedApply(recording, session, operation_word::APPLY_XML,
                                 {stampInput(input.path, input.text)},
                                 [&] { return applyXmlInputs(session, app, mc, chosen, report); });
        },
        options);
}

void varko5ConfigWidget::on_updateMC_clicked() {
    updateXml(RecordKind::Mc);
}

void varko5ConfigWidget::on_updateAPP_clicked() {
    updateXml(RecordKind::App);
}

void varko5ConfigWidget::on_updateLPFP_clicked() {
    const QString path = ui_->lpfpConfigFile_LineEdit->text();
    if (path.isEmpty()) {
        return;
    }
    // Read and checked once, here; the worker applies the text that was checked.
    PreparedInput prepared = prepareLpfpInput(path.toStdString());
    if (const QString problem = lpfpFileProblem(prepared); !problem.isEmpty()) {
        spdlog::error("{}", problem.toStdString());
        showBox(QMessageBox::Critical, QStringLiteral("Error"), problem);
        return;
    }
    ApplyOptions options;
    options.backup = backup_;
    // The motor record is written whatever became of the application record.
    options.policy = FailurePolicy::AttemptEveryRecord;
    startUpdate(
        QStringLiteral("Updating the LPFP configuration..."), "Configuration updated successfully",
        "Configuration Validation Failed.", UpdateKind::Lpfp,
        [lpfp = std::move(prepared.input)](ControllerSession& session, const ApplyOptions& chosen,
                                           const ProgressFn& report, const Recording* recording) {
            return recordedApply(recording, session, operation_word::APPLY_LPFP,
                                 {stampInput(lpfp.path, lpfp.text)},
                                 [&] { return applyLpfpInput(session, lpfp, chosen, report); });
        },
        options);
}
