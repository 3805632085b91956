#include "loader/varko5configwidget.h"
#include "ui_varko5configwidget.h"

#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "core/device/arm_link.h"
#include "core/lpfp/lpfp.h"
#include "loader/file_dialogs.h"

#include <QMessageBox>
#include <QTextEdit>
#include <QtGlobal>

#include <spdlog/spdlog.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const TIMEOUT_REASON = "ARM timed out. It may not be powered.";

// What went wrong, in words the user can act on; a time-out carries no text of its own.
std::string reasonOf(const std::exception& error) {
    if (dynamic_cast<const timeout_exception*>(&error) != nullptr) {
        return TIMEOUT_REASON;
    }
    return error.what();
}

QString chipIdText(std::uint32_t chipId) {
    return QStringLiteral("0x") + QString::number(chipId, 16).toUpper().rightJustified(8, QLatin1Char('0'));
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
    deviceHandle_ = std::move(handle);
    ui_->chipIDLineEdit->setText(chipIdText(readChipId(deviceHandle_)));

    try {
        ArmLink link(deviceHandle_);
        link.flush();
        const FirmwareVersion version = link.ARM_getVersion();
        if (!version.valid) {
            // The panel stays, with its rows disabled; the other panels keep working.
            spdlog::error("Failed at getting ARM Version.");
            disableConfigurationRows();
            return;
        }
        ui_->versionLineEdit->setText(QStringLiteral("%1.%2").arg(version.major).arg(version.minor));
        if (version.major != 5 || version.minor != 2) {
            QMessageBox::warning(this, QStringLiteral("Error"),
                                 QStringLiteral("This application only works with FW version 5.2"));
            disableConfigurationRows();
        }
    } catch (const timeout_exception&) {
        spdlog::error("{}", TIMEOUT_REASON);
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
        ArmLink link(deviceHandle_);
        link.flush();
        // A record that could not be read throws before anything is written, so a damaged
        // reply never ends up in a file.
        readAndWrite(link, path.toStdString());
    } catch (const std::exception& error) {
        spdlog::error("{}", failureText);
        spdlog::error("{}", reasonOf(error));
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
        return;
    }
    QMessageBox::information(this, QStringLiteral("SUCCESS"), QString::fromLatin1(successPrefix) + path);
}

void varko5ConfigWidget::on_getMC_clicked() {
    saveFromDevice(
        "Save MC Configuration", "XML (*.xml)",
        "MC Configuration saved to: ", "Failed at retrieving MC Configuration",
        [](ArmLink& link, const std::string& path) { saveMcConfigXml(link.ARM_getMCConfig(), path); });
}

void varko5ConfigWidget::on_getApp_clicked() {
    saveFromDevice(
        "Save APP Configuration", "XML (*.xml)",
        "App Configuration saved to: ", "Failed at retrieving App Configuration",
        [](ArmLink& link, const std::string& path) { saveAppConfigXml(link.ARM_getAppConfig(), path); });
}

void varko5ConfigWidget::on_getLpfp_clicked() {
    saveFromDevice("Save LPFP Configuration", "LPFP Files(*.lpfp)",
                   "LPFP Configuration saved to: ", "Failed at retrieving LPFP Configuration",
                   [](ArmLink& link, const std::string& path) {
                       LpfpConfiguration pair;
                       pair.app = link.ARM_getAppConfig();
                       pair.mc = link.ARM_getMCConfig();
                       writeLpfpFile(pair, path);
                   });
}

void varko5ConfigWidget::on_defaultMC_clicked() {
    saveFromDevice(
        "Save MC Configuration", "XML (*.xml)",
        "Default MC Configuration saved to: ", "Failed at retrieving Default MC Configuration",
        [](ArmLink& link, const std::string& path) { saveMcConfigXml(link.ARM_getDefaultMCConfig(), path); });
}

void varko5ConfigWidget::on_defaultApp_clicked() {
    saveFromDevice("Save APP Configuration", "XML (*.xml)",
                   "Default App Configuration saved to: ", "Failed at retrieving Default App Configuration",
                   [](ArmLink& link, const std::string& path) {
                       saveAppConfigXml(link.ARM_getDefaultAppConfig(), path);
                   });
}

void varko5ConfigWidget::on_defaultLPFP_clicked() {
    saveFromDevice("Save LPFP Configuration", "LPFP Files(*.lpfp)",
                   "Default LPFP Configuration saved to: ", "Failed at retrieving Default LPFP Configuration",
                   [](ArmLink& link, const std::string& path) {
                       LpfpConfiguration pair;
                       pair.app = link.ARM_getDefaultAppConfig();
                       pair.mc = link.ARM_getDefaultMCConfig();
                       writeLpfpFile(pair, path);
                   });
}

// ---- Update -------------------------------------------------------------------------------
// The base of every update is the controller's default record, so keys missing from the file
// take the firmware's defaults. An exception (a time-out, a damaged reply) ends the update
// with a message naming the row's failure and the reason.

void varko5ConfigWidget::reportUpdateError(const char* failureText, const std::exception& error) {
    const std::string reason = reasonOf(error);
    spdlog::error("{} {}", failureText, reason);
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QString::fromLatin1(failureText) + QStringLiteral("\n") +
                              QString::fromStdString(reason));
}

void varko5ConfigWidget::on_updateMC_clicked() {
    const QString path = ui_->motorConfigFile_LineEdit->text();
    if (path.isEmpty()) {
        return;
    }
    const char* const failureText = "MC Configuration Validation Failed.";
    ArmLink link(deviceHandle_);
    try {
        appendProgress(QStringLiteral("Getting Default MC Configuration"));
        MCConfiguration record = link.ARM_getDefaultMCConfig();
        std::uint64_t keyCount = 0;
        if (!mcConfigFromXmlFile(record, path.toStdString(), keyCount)) {
            return;
        }
        spdlog::info("Configuration updated from XML file {}. {} parameters set", path.toStdString(),
                     keyCount);
        if (!link.ARM_setMCConfig(record)) {
            spdlog::error("Failed to set MCConfig");
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
            return;
        }
        spdlog::info("Configuration sent to device");
        spdlog::info("Getting MC Configuration");
        const MCConfiguration readBack = link.ARM_getMCConfig();
        appendProgress(QStringLiteral("Validating Updated MC"));
        if (mcConfigEquals(readBack, record)) {
            appendProgress(QStringLiteral("MC Configuration Validated"));
            QMessageBox::information(this, QStringLiteral("SUCCESS"),
                                     QStringLiteral("MC Configuration updated successfully"));
        } else {
            spdlog::error("MC Configuration validation FAILED 123");
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
        }
    } catch (const std::exception& error) {
        reportUpdateError(failureText, error);
    }
}

void varko5ConfigWidget::on_updateAPP_clicked() {
    const QString path = ui_->appConfigFile_LineEdit->text();
    if (path.isEmpty()) {
        return;
    }
    const char* const failureText = "APP Configuration Validation Failed.";
    ArmLink link(deviceHandle_);
    try {
        appendProgress(QStringLiteral("Getting Default APP Configuration"));
        APPConfiguration record = link.ARM_getDefaultAppConfig();
        std::uint64_t keyCount = 0;
        if (!appConfigFromXmlFile(record, path.toStdString(), keyCount)) {
            return;
        }
        appendProgress(QStringLiteral("Configuration updated from XML file %1. %2 parameters set")
                           .arg(path)
                           .arg(static_cast<qulonglong>(keyCount)));
        if (!link.ARM_setAppConfig(record)) {
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
            return;
        }
        appendProgress(QStringLiteral("Configuration sent to device"));
        appendProgress(QStringLiteral("Getting APP Configuration"));
        const APPConfiguration readBack = link.ARM_getAppConfig();
        appendProgress(QStringLiteral("Validating Updated APP"));
        if (appConfigEquals(readBack, record)) {
            appendProgress(QStringLiteral("APP Configuration Validated"));
            QMessageBox::information(this, QStringLiteral("SUCCESS"),
                                     QStringLiteral("APP Configuration updated successfully"));
        } else {
            spdlog::error("App Configuration validation FAILED");
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText));
        }
    } catch (const std::exception& error) {
        reportUpdateError(failureText, error);
    }
}

void varko5ConfigWidget::on_updateLPFP_clicked() {
    const QString path = ui_->lpfpConfigFile_LineEdit->text();
    if (path.isEmpty()) {
        return;
    }
    const char* const failureText = "Configuration Validation Failed.";
    ArmLink link(deviceHandle_);
    try {
        appendProgress(QStringLiteral("Getting Default APP Configuration"));
        LpfpConfiguration pair;
        pair.app = link.ARM_getDefaultAppConfig();
        pair.mc = link.ARM_getDefaultMCConfig();
        std::uint64_t keyCount = 0;
        if (!readLpfpFile(pair, path.toStdString(), keyCount)) {
            return;
        }
        appendProgress(QStringLiteral("Configuration updated from LPFP file %1. %2 parameters set")
                           .arg(path)
                           .arg(static_cast<qulonglong>(keyCount)));

        // The motor record is written even when the application record failed. A damaged
        // reply fails only its own record; a time-out ends the whole update.
        QString reasons;
        const auto attempt = [&reasons](auto&& step) {
            try {
                return step();
            } catch (const timeout_exception&) {
                throw;
            } catch (const std::exception& error) {
                spdlog::error("{}", error.what());
                reasons += QStringLiteral("\n") + QString::fromStdString(error.what());
                return false;
            }
        };
        const bool appOk = attempt([&] {
            if (!link.ARM_setAppConfig(pair.app)) {
                return false;
            }
            appendProgress(QStringLiteral("Configuration sent to device"));
            appendProgress(QStringLiteral("Getting APP Configuration"));
            const APPConfiguration readBack = link.ARM_getAppConfig();
            appendProgress(QStringLiteral("Validating Updated APP"));
            if (!appConfigEquals(readBack, pair.app)) {
                spdlog::error("App Configuration validation FAILED");
                return false;
            }
            appendProgress(QStringLiteral("APP Configuration Validated"));
            return true;
        });
        const bool mcOk = attempt([&] {
            if (!link.ARM_setMCConfig(pair.mc)) {
                return false;
            }
            appendProgress(QStringLiteral("Configuration sent to device"));
            appendProgress(QStringLiteral("Getting MC Configuration"));
            const MCConfiguration readBack = link.ARM_getMCConfig();
            if (!mcConfigEquals(readBack, pair.mc)) {
                spdlog::error("MC Configuration validation FAILED");
                return false;
            }
            appendProgress(QStringLiteral("MC Configuration Validated"));
            return true;
        });

        if (appOk && mcOk) {
            QMessageBox::information(this, QStringLiteral("SUCCESS"),
                                     QStringLiteral("Configuration updated successfully"));
        } else {
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(failureText) + reasons);
        }
    } catch (const std::exception& error) {
        reportUpdateError(failureText, error);
    }
}
