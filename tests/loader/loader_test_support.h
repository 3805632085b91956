#pragma once
// What the loader tests share: environment settings and the simulated backend, both undoing
// themselves, answers to the file questions, a catcher that reads and closes every message box,
// a backend that notes the thread of every device call, and the records of the simulated
// controller.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"
#include "loader/file_dialogs.h"
#include "tests/support/log_capture.h"
#include "tests/support/sim_backend.h"
#include "tests/support/temp_dir.h"

#include <QByteArray>
#include <QMessageBox>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class MainWindow;
class QLineEdit;
class QPushButton;
class QWidget;
class varko5ConfigWidget;

// Sets (or with no value, removes) one environment variable; the old state comes back on
// destruction.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray name_;
    std::optional<QByteArray> previous_;
};

// Answers the file questions in order; an exhausted list answers like a cancelled dialog.
class FileAnswers {
public:
    FileAnswers();
    ~FileAnswers();
    FileAnswers(const FileAnswers&) = delete;
    FileAnswers& operator=(const FileAnswers&) = delete;

    void answer(const QString& path) { answers_.push_back({path, QString()}); }
    void answer(const std::string& path) { answers_.push_back({QString::fromStdString(path), QString()}); }
    // The path, chosen with that filter of the dialog's list.
    void answer(const std::string& path, const QString& filter) {
        answers_.push_back({QString::fromStdString(path), filter});
    }
    void cancel() { answers_.push_back({QString(), QString()}); }
    const std::vector<FileDialogRequest>& requests() const { return requests_; }
    void clear();

private:
    std::deque<std::pair<QString, QString>> answers_; // path, chosen filter
    std::vector<FileDialogRequest> requests_;
    FileDialogFunction previous_;
};

struct ShownBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QWidget* parent;
    QString informativeText;
    QRect geometry; // on the screen
    Qt::WindowModality modality;
    QString detailedText;
};

// Records every message box as it is shown (modal or not) and, unless told to leave them open,
// presses its button on the next turn of the event loop, so that no test hangs on a box and
// every box can be checked right after the action that showed it.
class MessageBoxCatcher : public QObject {
    Q_OBJECT
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher() override;
    const std::vector<ShownBox>& boxes() const { return boxes_; }
    void clear() { boxes_.clear(); }
    // false: boxes stay open until the test closes them.
    void setAnswering(bool answering) { answering_ = answering; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<ShownBox> boxes_;
    bool answering_ = true;
};

// A backend that passes every call on to another and notes the thread each was made on, so
// that a test can prove that no device call ran on the GUI thread without timing anything.
class ThreadRecordingBackend : public DeviceBackend {
public:
    struct Call {
        std::string what; // "list", "open", "read", "write", "queued", "wait", "chipId", "timeouts"
        std::thread::id thread;
    };
    explicit ThreadRecordingBackend(std::shared_ptr<DeviceBackend> inner);
    DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) override;
    OpenResult open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) override;
    std::string name() const override { return inner_->name(); }

    // From now on every device call on the ports of list index index waits (on the thread
    // that made it) until release(): a controller that hangs for as long as the test wants.
    void hold(int index);
    void release();
    // From now on the ports of list index index answer every exchange with an input/output
    // error, as a bridge pulled from its socket does; replug() ends that for new ports and old.
    void unplug(int index);
    void replug();
    bool unplugged(int index) const;

    // Notes the call, then waits while the port's device is held.
    void note(const char* what, int index = -1);
    std::vector<Call> calls() const;
    // The calls that reach a device (everything but listing the bridges) made on thread.
    std::vector<std::string> deviceCallsOn(std::thread::id thread) const;
    // How many threads other than thread made device calls.
    std::size_t otherThreads(std::thread::id thread) const;

private:
    std::shared_ptr<DeviceBackend> inner_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::vector<int> held_;
    std::vector<int> unplugged_;
    std::vector<Call> calls_;
};

// Releases the backend's held devices when it goes out of scope: declared after the window, it
// lets the workers end before the window waits for them, even when a check fails early.
class HoldRelease {
public:
    explicit HoldRelease(ThreadRecordingBackend& backend) : backend_(backend) {}
    ~HoldRelease() { backend_.release(); }
    HoldRelease(const HoldRelease&) = delete;
    HoldRelease& operator=(const HoldRelease&) = delete;

private:
    ThreadRecordingBackend& backend_;
};

// What every desktop test sets up: message boxes caught, file dialogs answered, a scratch
// folder that is also where backups go, and the log kept off the console.
struct LoaderFixture {
    LoaderFixture();
    ~LoaderFixture();
    LoaderFixture(const LoaderFixture&) = delete;
    LoaderFixture& operator=(const LoaderFixture&) = delete;

    MessageBoxCatcher boxes;
    FileAnswers files;
    TempDir dir;
    // Backups go under XDG_DATA_HOME on Linux and under LOCALAPPDATA on Windows: both point
    // into the scratch folder, so that no test writes into the user's own.
    ScopedEnv dataHome;
    ScopedEnv localData;
    LogCapture quiet;
};

// The four records of the simulated device at index, read over its link.
struct DeviceRecords {
    APPConfiguration app{};
    APPConfiguration defaultApp{};
    MCConfiguration mc{};
    MCConfiguration defaultMc{};
};
DeviceRecords readDeviceRecords(DeviceBackend& backend, int index = 0);

// A backend whose bridges a test plugs in and pulls out: it stands for whichever backend it
// was last given.
class SwitchableBackend : public DeviceBackend {
public:
    explicit SwitchableBackend(std::shared_ptr<DeviceBackend> backend) : current_(std::move(backend)) {}
    void replace(std::shared_ptr<DeviceBackend> backend) { current_ = std::move(backend); }
    std::string name() const override { return current_->name(); }
    DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) override {
        return current_->listDevices(nodes);
    }
    OpenResult open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) override {
        return current_->open(node, port);
    }

private:
    std::shared_ptr<DeviceBackend> current_;
};

// The panel at index of a window, and its controls by object name (null when missing).
varko5ConfigWidget* panelAt(const MainWindow& window, int index);
QPushButton* button(const QWidget* panel, const char* name);
QLineEdit* lineEdit(const QWidget* panel, const char* name);
// The progress log's lines without their time stamps.
QString progressText(const varko5ConfigWidget* panel);

// Waits, serving the event loop, until the panel's worker (or every panel's) has no work left;
// false when it still has after timeoutMs.
bool waitIdle(const varko5ConfigWidget* panel, int timeoutMs = 10000);
bool waitIdle(const MainWindow& window, int timeoutMs = 10000);
// Clicks the panel's button and waits for the work it started, if any, and its box.
bool clickAndWait(varko5ConfigWidget* panel, const char* buttonName, int timeoutMs = 10000);

// The log texts of one level, for messages in test failures.
QString joined(const std::vector<std::string>& texts);
