#pragma once
// The panel of one connected controller: its identity, and for the motor XML, the
// application XML and the LPFP file the actions Browse, Update, Current and Default.
// Every controller exchange runs to its end inside the slot, on the GUI thread.

#include "core/device/device_list.h"
#include "core/ops/apply.h"

#include "loader/parameter_view.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QTextEdit;
namespace Ui {
class varko5ConfigWidget;
}

class varko5ConfigWidget : public QWidget {
    Q_OBJECT

public:
    explicit varko5ConfigWidget(QWidget* parent = nullptr);
    ~varko5ConfigWidget() override;

    void setSerialNumber(const QString& text);
    void setDescription(const QString& text);
    // Takes the open device for the panel's lifetime and identifies the controller.
    void attachDevice(DeviceHandle handle);
    // The same, for the device of that list entry.
    void attachDevice(DeviceHandle handle, const DeviceInfoNode& node, int index);

    // The lines the updates report, shown read-only below the rows.
    QTextEdit* progressLog() const { return progressLog_; }
    // The parameter view opened by the Parameters button, while it is open.
    ParameterView* parameterView() const { return parameterView_; }

private slots:
    void on_browseMotorConfig_PushButton_clicked();
    void on_browseAppConfig_PushButton_clicked();
    void on_browseLPFPConfig_PushButton_clicked();
    void on_getMC_clicked();
    void on_getApp_clicked();
    void on_getLpfp_clicked();
    void on_defaultMC_clicked();
    void on_defaultApp_clicked();
    void on_defaultLPFP_clicked();
    void on_updateMC_clicked();
    void on_updateAPP_clicked();
    void on_updateLPFP_clicked();

private:
    // The label, line edit and buttons of the motor, application and LPFP rows.
    std::vector<QWidget*> configurationControls() const;
    void disableConfigurationRows();
    void appendProgress(const QString& message);
    template <typename ReadAndWrite>
    void saveFromDevice(const char* caption, const char* filter, const char* successPrefix,
                        const char* failureText, ReadAndWrite readAndWrite);
    void reportUpdateError(const char* failureText, const std::string& reason);
    // Runs an apply on the panel's controller; false, with the failure reported under
    // failureText, when the panel has none.
    template <typename Apply> bool runApply(const char* failureText, ApplyResult& result, Apply apply);

    // Opens the parameter view (or brings the open one to the front) and reads the parameters.
    void openParameters();
    // The parameter view's way to the controller: the job runs with the panel's session.
    void runOnSession(QObject* context, SessionJob job, std::function<void()> done);

    std::unique_ptr<Ui::varko5ConfigWidget> ui_;
    std::unique_ptr<ControllerSession> session_;
    QTextEdit* progressLog_ = nullptr;
    QPushButton* parametersButton_ = nullptr;
    QPointer<ParameterView> parameterView_;
};
