#pragma once
// The panel of one connected controller: its identity, and for the motor XML, the
// application XML and the LPFP file the actions Browse, Update, Current and Default.
// The controller is opened, identified and used by the panel's worker, on a thread of its
// own: the buttons start the work and the panel shows its steps as they happen, so the
// window never waits for a controller.

#include "core/device/device_list.h"
#include "core/ops/apply.h"
#include "core/ops/recording.h"
#include "loader/device_worker.h"
#include "loader/history_dialog.h"
#include "loader/panel_texts.h"

#include "loader/parameter_view.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;
namespace Ui {
class varko5ConfigWidget;
}

class varko5ConfigWidget : public QWidget {
    Q_OBJECT

public:
    explicit varko5ConfigWidget(QWidget* parent = nullptr);
    // Waits for the work the controller is doing to end (see DeviceWorker).
    ~varko5ConfigWidget() override;

    void setSerialNumber(const QString& text);
    void setDescription(const QString& text);
    QString serialNumber() const;
    QString description() const;
    // The worker opens the listed device from the backend itself (by what identifies it, not
    // by its place in the list), then identifies the controller.
    void attachListedDevice(std::shared_ptr<DeviceBackend> backend, const DeviceInfoNode& node, int index);

    // The lines the updates report, each with its time, shown read-only below the rows once
    // there is one.
    QTextEdit* progressLog() const { return progressLog_; }
    // The outcome of the panel's last operation, with its time (and the backup an update
    // made), as the panel shows it after its box is gone; empty before the first.
    QString lastResult() const;
    // The last result box the panel showed, while it is open. Result boxes are not modal: the
    // other panels stay usable while one is open.
    QMessageBox* resultBox() const { return resultBox_; }
    // The parameter view opened by the Parameters button, while it is open.
    ParameterView* parameterView() const { return parameterView_; }
    // "<serial> - <description>": the frame's title, and the name the panel's boxes give.
    QString deviceName() const;

    // Whether the worker has work queued or running.
    bool isBusy() const;
    // Why the panel's rows are disabled, as the panel shows it; empty when the panel works.
    QString unavailableReason() const;
    // The bridge is no longer listed: the rows are disabled and the panel says so.
    void markDisconnected();
    bool isDisconnected() const { return disconnected_; }
    // Whether a rescan should try the device again: it is disconnected, or it could not be
    // opened or did not answer.
    bool wantsReconnect() const;

    // Where Update saves its backup first (by default the folder lpfp_cli uses).
    void setBackupSettings(const BackupSettings& settings) { backup_ = settings; }
    // Where the panel records what it writes and the reads the user asks for (null or not
    // enabled: it does not record). The record is opened by the worker when first needed.
    void setRecording(std::shared_ptr<RecordingSource> recording);
    // The history of this controller opened by the History button, while it is open.
    HistoryDialog* historyDialog() const { return historyDialog_; }
    // From now on results are logged, not shown: the window is closing.
    void dropResults() { dropResults_ = true; }

    // The panel's worker, for work of other views on this controller.
    DeviceWorker* worker() const { return worker_.get(); }
    // Runs work on the controller with the panel busy meanwhile (buttons disabled, activity
    // shown); see DeviceWorker::submit.
    void runOnDevice(const QString& activity, DeviceWorker::Work work,
                     DeviceWorker::ProgressHandler onProgress, DeviceWorker::Done done);

signals:
    void busyChanged(bool busy);
    // The user asked to remove this panel, whose bridge is gone.
    void removeRequested();
    // The controller was identified (whatever the outcome).
    void identified();

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
    std::vector<QPushButton*> buttons() const;
    void disableConfigurationRows();
    void enableConfigurationRows();
    void appendProgress(const QString& message);
    void showBusy(bool busy);
    void onIdentified(const ControllerIdentity& identity);
    void applyAvailability();
    void updateTitle();
    // A message box over this panel that names its device (and the backup, when one was
    // made), not modal, and the panel's result line; with dropResults, a log line.
    void showBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                 const QString& backup = QString());
    // An exchange failed because the bridge went away: the panel says so, and Rescan tries it
    // again.
    void noteFailure(const QString& error);
    // What a Current or Default button saves and how it tells the outcome.
    struct SaveRow {
        const char* caption;       // the file dialog's
        const char* filter;        // the file dialog's
        const char* successPrefix; // the success box's text before the path
        const char* failureText;   // the failure box's first line
        RecordKind record;         // App or Mc: that record's XML document; None: the LPFP file
        RecordSet set;
    };
    // Reads the row's records from the controller into a file the user chooses, under an entry
    // of the record when the panel records.
    void saveFromDevice(const SaveRow& row);
    // The motor (Mc) and application (App) rows: Browse checks the chosen file, Update applies
    // the file its line edit names.
    void browseXml(RecordKind record);
    void updateXml(RecordKind record);
    void reportUpdateError(const char* failureText, const QString& reason);
    // Runs an apply in the worker, under an entry of the record when the panel records; its
    // steps are told in the words of that update, and the result decides between the success
    // box and the failure box with its reasons.
    using UpdateFn = std::function<ApplyResult(ControllerSession&, const ApplyOptions&, const ProgressFn&,
                                               const Recording*)>;
    void startUpdate(const QString& activity, const char* successText, const char* failureText,
                     UpdateKind update, UpdateFn apply, const ApplyOptions& options);
    // The recording to write to in the worker: null when the panel does not record. Throws
    // RecordError when it records but the record cannot be opened.
    static std::shared_ptr<const Recording> openedRecording(const std::shared_ptr<RecordingSource>& source);
    // Lists this controller's entries of the record.
    void openHistory();

    // Opens the parameter view (or brings the open one to the front) and reads the parameters.
    void openParameters();
    // The parameter view's way to the controller: the job runs with the panel's session.
    void runOnSession(QObject* context, SessionJob job, SessionDone done);

    std::unique_ptr<Ui::varko5ConfigWidget> ui_;
    QTextEdit* progressLog_ = nullptr;
    QPushButton* parametersButton_ = nullptr;
    QPointer<ParameterView> parameterView_;
    QPushButton* historyButton_ = nullptr;
    QPointer<HistoryDialog> historyDialog_;
    std::shared_ptr<RecordingSource> recording_;
    QLabel* statusLabel_ = nullptr;
    QLabel* resultLabel_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPointer<QMessageBox> resultBox_;
    QProgressBar* busyIndicator_ = nullptr;
    QString activity_;
    QString unavailable_;
    bool disconnected_ = false;
    bool lastExchangeFailed_ = false;
    bool rowsDisabled_ = false;
    ControllerIdentity::Problem problem_ = ControllerIdentity::Problem::None;
    // Why the device could not be opened, as the device layer said it (OpenFailed only).
    std::string openFailure_;
    bool identifiedOnce_ = false;
    std::vector<std::pair<QPushButton*, bool>> enabledBeforeBusy_;
    BackupSettings backup_{true, {}};
    bool dropResults_ = false;
    std::unique_ptr<DeviceWorker> worker_;
};
