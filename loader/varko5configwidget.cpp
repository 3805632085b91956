#include "loader/varko5configwidget.h"
#include "ui_varko5configwidget.h"

#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/session.h"
#include "loader/file_dialogs.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QtGlobal>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

QString chipIdText(std::uint32_t chipId) {
    return QStringLiteral("0x") + QString::number(chipId, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

QString qText(const std::string& text) {
    return QString::fromStdString(text);
}

const char* recordWord(RecordKind record) {
    return record == RecordKind::App ? "APP" : "MC";
}

} // namespace

varko5ConfigWidget::varko5ConfigWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::varko5ConfigWidget>()) {
    ui_->setupUi(this);

    // The update actions report their steps here; shown below the rows so that the user can
    // follow an update.
    progressLog_ = new QTextEdit(this);
    progressLog_->setObjectName(QStringLiteral("progressLog"));
    progressLog_->setReadOnly(true);
    progressLog_->setMaximumHeight(120);
    ui_->formLayout->setWidget(9, QFormLayout::SpanningRole, progressLog_);

    // Every user may look at the parameters, so the button sits in the LPFP row. It is wired
    // by hand: the slots connected by name are the form's own.
    parametersButton_ = new QPushButton(QStringLiteral("Parameters"), this);
    parametersButton_->setObjectName(QStringLiteral("parameters_PushButton"));
    parametersButton_->setEnabled(false);
    ui_->horizontalLayout_4->addWidget(parametersButton_);
    connect(parametersButton_, &QPushButton::clicked, this, &varko5ConfigWidget::openParameters);

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
}

varko5ConfigWidget::~varko5ConfigWidget() = default;

void varko5ConfigWidget::setSerialNumber(const QString& text) {
    ui_->serialNumberLineEdit->setText(text);
}

void varko5ConfigWidget::setDescription(const QString& text) {
    ui_->descriptionLineEdit->setText(text);
}

void varko5ConfigWidget::attachDevice(DeviceHandle handle) {
    DeviceInfoNode node{};
    const QByteArray serial = ui_->serialNumberLineEdit->text().toLatin1();
    const QByteArray description = ui_->descriptionLineEdit->text().toLatin1();
    std::memcpy(node.serialNumber, serial.constData(),
                std::min<std::size_t>(static_cast<std::size_t>(serial.size()), sizeof node.serialNumber - 1));
    std::memcpy(
        node.description, description.constData(),
        std::min<std::size_t>(static_cast<std::size_t>(description.size()), sizeof node.description - 1));
    attachDevice(std::move(handle), node, -1);
}

void varko5ConfigWidget::attachDevice(DeviceHandle handle, const DeviceInfoNode& node, int index) {
    try {
        session_ = std::make_unique<ControllerSession>(std::move(handle), node, index);
        ui_->chipIDLineEdit->setText(chipIdText(session_->chipId()));
        const FirmwareVersion version = session_->identify();
        if (!version.valid) {
            // The panel stays, with its rows disabled; the other panels keep working.
            spdlog::error("Failed at getting ARM Version.");
            disableConfigurationRows();
            return;
        }
        ui_->versionLineEdit->setText(QStringLiteral("%1.%2").arg(version.major).arg(version.minor));
        if (!session_->writable()) {
            QMessageBox::warning(this, QStringLiteral("Error"),
                                 QStringLiteral("This application only works with FW version 5.2"));
            disableConfigurationRows();
            return;
        }
        parametersButton_->setEnabled(true);
    } catch (const timeout_exception&) {
        spdlog::error("{}", TIMED_OUT_TEXT);
        disableConfigurationRows();
    } catch (const std::exception& error) {
        spdlog::error("Failed at getting ARM Version.");
        spdlog::error("{}", error.what());
        disableConfigurationRows();
    }
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

void varko5ConfigWidget::disableConfigurationRows() {
    for (QWidget* widget : configurationControls()) {
        widget->setEnabled(false);
    }
    parametersButton_->setEnabled(false);
}

void varko5ConfigWidget::openParameters() {
    if (parameterView_) {
        parameterView_->raise();
        parameterView_->activateWindow();
        return;
    }
    const QString name = ui_->descriptionLineEdit->text() + QStringLiteral(" (") +
                         ui_->chipIDLineEdit->text() + QStringLiteral(")");
    parameterView_ = new ParameterView(
        [this](QObject* context, SessionJob job, std::function<void()> done) {
            runOnSession(context, std::move(job), std::move(done));
        },
        name, session_ && session_->writable(), this);
    parameterView_->setAttribute(Qt::WA_DeleteOnClose);
    parameterView_->setWindowModality(Qt::WindowModal);
    parameterView_->show();
    parameterView_->load();
}

void varko5ConfigWidget::runOnSession(QObject* context, SessionJob job, std::function<void()> done) {
    if (session_) {
        job(*session_);
    }
    // The answer comes back through the event loop, as it will from a worker thread.
    QMetaObject::invokeMethod(context, std::move(done), Qt::QueuedConnection);
}

void varko5ConfigWidget::appendProgress(const QString& message) {
    progressLog_->append(QStringLiteral("\n") + message);
}

// ---- Browse -------------------------------------------------------------------------------

void varko5ConfigWidget::on_browseMotorConfig_PushButton_clicked() {
    const QString path = askForFile({FileDialogKind::Open, this, QStringLiteral("Open MC Config XML"),
                                     QStringLiteral("XML (*.xml *.xml)")});
    if (path.isEmpty()) {
        return;
    }
    MCConfiguration scratch{};
    std::uint64_t keyCount = 0;
    if (mcConfigFromXmlFile(scratch, path.toStdString(), keyCount)) {
        ui_->motorConfigFile_LineEdit->setText(path);
        ui_->updateMC->setEnabled(true);
        return;
    }
    spdlog::error("Not a valid MC XML file");
    QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Not a valid MC XML file"));
    ui_->updateMC->setEnabled(false);
}

void varko5ConfigWidget::on_browseAppConfig_PushButton_clicked() {
    const QString path = askForFile({FileDialogKind::Open, this, QStringLiteral("Open App Config XML"),
                                     QStringLiteral("XML (*.xml *.xml)")});
    if (path.isEmpty()) {
        return;
    }
    APPConfiguration scratch{};
    std::uint64_t keyCount = 0;
    if (appConfigFromXmlFile(scratch, path.toStdString(), keyCount)) {
        ui_->appConfigFile_LineEdit->setText(path);
        ui_->updateAPP->setEnabled(true);
        return;
    }
    spdlog::error("Not a valid APP XML file");
    QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Not a valid APP XML file"));
    ui_->updateAPP->setEnabled(false);
}

void varko5ConfigWidget::on_browseLPFPConfig_PushButton_clicked() {
    const QString path = askForFile({FileDialogKind::Open, this, QStringLiteral("Open LPFP Config"),
                                     QStringLiteral("LPFP (*.lpfp *.LPFP)")});
    if (path.isEmpty()) {
        return;
    }
    try {
        LpfpConfiguration scratch{};
        std::uint64_t keyCount = 0;
        if (!readLpfpFile(scratch, path.toStdString(), keyCount)) {
            throw std::runtime_error("Invalid Configuration File");
        }
        ui_->lpfpConfigFile_LineEdit->setText(path);
        ui_->updateLPFP->setEnabled(true);
    } catch (const std::exception& error) {
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(error.what()));
        ui_->updateLPFP->setEnabled(false);
        ui_->lpfpConfigFile_LineEdit->clear();
    }
}

// ---- Current and Default ------------------------------------------------------------------

template <typename ReadAndWrite>
void varko5ConfigWidget::saveFromDevice(const char* caption, const char* filter, const char* successPrefix,
                                        const char* failureText, ReadAndWrite readAndWrite) {
    const QString path =
        askForFile({FileDialogKind::Save, this, QString::fromLatin1(caption), QString::fromLatin1(filter)});
    if (path.isEmpty()) {
        return;
    }
    try {
        if (!session_) {
            throw std::runtime_error("No controller attached");
        }
        session_->link().flush();
        // A record that could not be read throws before anything is written, so a damaged
        // reply never ends up in a file.
        readAndWrite(*session_, path.toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", failureText);
        spdlog::error("{}", describeFailure(error));
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
        return;
    }
    QMessageBox::information(this, QStringLiteral("SUCCESS"), QString::fromLatin1(successPrefix) + path);
}

void varko5ConfigWidget::on_getMC_clicked() {
    saveFromDevice("Save MC Configuration", "XML (*.xml)",
                   "MC Configuration saved to: ", "Failed at retrieving MC Configuration",
                   [](ControllerSession& session, const std::string& path) {
                       saveMcConfigXml(readMcRecord(session, RecordSet::Current), path);
                   });
}

void varko5ConfigWidget::on_getApp_clicked() {
    saveFromDevice("Save APP Configuration", "XML (*.xml)",
                   "App Configuration saved to: ", "Failed at retrieving App Configuration",
                   [](ControllerSession& session, const std::string& path) {
                       saveAppConfigXml(readAppRecord(session, RecordSet::Current), path);
                   });
}

void varko5ConfigWidget::on_getLpfp_clicked() {
    saveFromDevice("Save LPFP Configuration", "LPFP Files(*.lpfp)",
                   "LPFP Configuration saved to: ", "Failed at retrieving LPFP Configuration",
                   [](ControllerSession& session, const std::string& path) {
                       writeLpfpFile(readRecords(session, RecordSet::Current), path);
                   });
}

void varko5ConfigWidget::on_defaultMC_clicked() {
    saveFromDevice("Save MC Configuration", "XML (*.xml)",
                   "Default MC Configuration saved to: ", "Failed at retrieving Default MC Configuration",
                   [](ControllerSession& session, const std::string& path) {
                       saveMcConfigXml(readMcRecord(session, RecordSet::Default), path);
                   });
}

void varko5ConfigWidget::on_defaultApp_clicked() {
    saveFromDevice("Save APP Configuration", "XML (*.xml)",
                   "Default App Configuration saved to: ", "Failed at retrieving Default App Configuration",
                   [](ControllerSession& session, const std::string& path) {
                       saveAppConfigXml(readAppRecord(session, RecordSet::Default), path);
                   });
}

void varko5ConfigWidget::on_defaultLPFP_clicked() {
    saveFromDevice("Save LPFP Configuration", "LPFP Files(*.lpfp)",
                   "Default LPFP Configuration saved to: ", "Failed at retrieving Default LPFP Configuration",
                   [](ControllerSession& session, const std::string& path) {
                       writeLpfpFile(readRecords(session, RecordSet::Default), path);
                   });
}

// ---- Update -------------------------------------------------------------------------------
// The base of every update is the controller's default record, so keys missing from the file
// take the firmware's defaults. A failed exchange (a time-out, a damaged reply) ends the
// update with a message naming the row's failure and the reason.

void varko5ConfigWidget::reportUpdateError(const char* failureText, const std::string& reason) {
    spdlog::error("{} {}", failureText, reason);
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QString::fromLatin1(failureText) + QStringLiteral("\n") + qText(reason));
}

template <typename Apply>
bool varko5ConfigWidget::runApply(const char* failureText, ApplyResult& result, Apply apply) {
    if (!session_) {
        reportUpdateError(failureText, "No controller attached");
        return false;
    }
    result = apply(*session_);
    return true;
}

void varko5ConfigWidget::on_updateMC_clicked() {
    const QString path = ui_->motorConfigFile_LineEdit->text();
    if (path.isEmpty()) {
        return;
    }
    const char* const failureText = "MC Configuration Validation Failed.";
    const ProgressFn progress = [this](const OpEvent& event) {
        switch (event.step) {
        case OpStep::GettingDefaults:
            appendProgress(QStringLiteral("Getting Default MC Configuration"));
            break;
        case OpStep::FileRead:
            spdlog::info("Configuration updated from XML file {}. {} parameters set", event.text, event.keys);
            break;
        case OpStep::Refused:
            spdlog::error("Failed to set MCConfig");
            break;
        case OpStep::Sent:
            spdlog::info("Configuration sent to device");
            break;
        case OpStep::GettingReadBack:
            spdlog::info("Getting MC Configuration");
            break;
        case OpStep::Validating:
            appendProgress(QStringLiteral("Validating Updated MC"));
            break;
        case OpStep::Validated:
            appendProgress(QStringLiteral("MC Configuration Validated"));
            break;
        case OpStep::Differs:
            spdlog::error("MC Configuration validation FAILED 123");
            break;
        default:
            break;
        }
    };
    ApplyResult result;
    if (!runApply(failureText, result, [&](ControllerSession& session) {
            return applyXmlFiles(session, {}, path.toStdString(), ApplyOptions{}, progress);
        })) {
        return;
    }
    if (!result.error.empty()) {
        reportUpdateError(failureText, result.error);
    } else if (!result.mc.sent) {
        // The file can no longer be read: the update ends quietly, as Browse reported it.
    } else if (result.ok()) {
        QMessageBox::information(this, QStringLiteral("SUCCESS"),
                                 QStringLiteral("MC Configuration updated successfully"));
    } else {
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
    }
}

void varko5ConfigWidget::on_updateAPP_clicked() {
    const QString path = ui_->appConfigFile_LineEdit->text();
    if (path.isEmpty()) {
        return;
    }
    const char* const failureText = "APP Configuration Validation Failed.";
    const ProgressFn progress = [this](const OpEvent& event) {
        switch (event.step) {
        case OpStep::GettingDefaults:
            appendProgress(QStringLiteral("Getting Default APP Configuration"));
            break;
        case OpStep::FileRead:
            appendProgress(QStringLiteral("Configuration updated from XML file %1. %2 parameters set")
                               .arg(qText(event.text))
                               .arg(static_cast<qulonglong>(event.keys)));
            break;
        case OpStep::Sent:
            appendProgress(QStringLiteral("Configuration sent to device"));
            break;
        case OpStep::GettingReadBack:
            appendProgress(QStringLiteral("Getting APP Configuration"));
            break;
        case OpStep::Validating:
            appendProgress(QStringLiteral("Validating Updated APP"));
            break;
        case OpStep::Validated:
            appendProgress(QStringLiteral("APP Configuration Validated"));
            break;
        case OpStep::Differs:
            spdlog::error("App Configuration validation FAILED");
            break;
        default:
            break;
        }
    };
    ApplyResult result;
    if (!runApply(failureText, result, [&](ControllerSession& session) {
            return applyXmlFiles(session, path.toStdString(), {}, ApplyOptions{}, progress);
        })) {
        return;
    }
    if (!result.error.empty()) {
        reportUpdateError(failureText, result.error);
    } else if (!result.app.sent) {
        // The file can no longer be read: the update ends quietly, as Browse reported it.
    } else if (result.ok()) {
        QMessageBox::information(this, QStringLiteral("SUCCESS"),
                                 QStringLiteral("APP Configuration updated successfully"));
    } else {
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
    }
}

void varko5ConfigWidget::on_updateLPFP_clicked() {
    const QString path = ui_->lpfpConfigFile_LineEdit->text();
    if (path.isEmpty()) {
        return;
    }
    const char* const failureText = "Configuration Validation Failed.";
    bool fileUnreadable = false;
    const ProgressFn progress = [this, &fileUnreadable](const OpEvent& event) {
        const QString word = QString::fromLatin1(recordWord(event.record));
        switch (event.step) {
        case OpStep::GettingDefaults:
            // Both default records are read under one line.
            if (event.record == RecordKind::App) {
                appendProgress(QStringLiteral("Getting Default APP Configuration"));
            }
            break;
        case OpStep::FileInvalid:
            fileUnreadable = true;
            break;
        case OpStep::FileRead:
            appendProgress(QStringLiteral("Configuration updated from LPFP file %1. %2 parameters set")
                               .arg(qText(event.text))
                               .arg(static_cast<qulonglong>(event.keys)));
            break;
        case OpStep::Sent:
            appendProgress(QStringLiteral("Configuration sent to device"));
            break;
        case OpStep::GettingReadBack:
            appendProgress(QStringLiteral("Getting %1 Configuration").arg(word));
            break;
        case OpStep::Validating:
            if (event.record == RecordKind::App) {
                appendProgress(QStringLiteral("Validating Updated APP"));
            }
            break;
        case OpStep::Validated:
            appendProgress(QStringLiteral("%1 Configuration Validated").arg(word));
            break;
        case OpStep::Differs:
            spdlog::error("{} Configuration validation FAILED",
                          event.record == RecordKind::App ? "App" : "MC");
            break;
        case OpStep::Failed:
            // A damaged reply fails only its own record; a time-out ends the whole update and
            // is reported once, at the end.
            if (event.record != RecordKind::None && event.text != TIMED_OUT_TEXT) {
                spdlog::error("{}", event.text);
            }
            break;
        default:
            break;
        }
    };
    ApplyOptions options;
    options.policy =
        FailurePolicy::AttemptEveryRecord; // the motor record is written whatever became of the other
    ApplyResult result;
    if (!runApply(failureText, result, [&](ControllerSession& session) {
            return applyLpfpFile(session, path.toStdString(), options, progress);
        })) {
        return;
    }
    if (fileUnreadable) {
        return;
    }
    if (!result.error.empty()) {
        reportUpdateError(failureText, result.error);
    } else if (result.ok()) {
        QMessageBox::information(this, QStringLiteral("SUCCESS"),
                                 QStringLiteral("Configuration updated successfully"));
    } else {
        QString reasons;
        for (const RecordOutcome* outcome : {&result.app, &result.mc}) {
            if (!outcome->error.empty()) {
                reasons += QStringLiteral("\n") + qText(outcome->error);
            }
        }
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText) + reasons);
    }
}
