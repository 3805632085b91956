#pragma once
// What the loader tests share: environment settings and the simulated backend, both undoing
// themselves, answers to the file questions, a catcher that reads and closes every message box, and the
// records of the simulated controller.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"
#include "loader/file_dialogs.h"
#include "tests/support/scoped_backend.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <string>
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

    void answer(const QString& path) { answers_.push_back(path); }
    void answer(const std::string& path) { answers_.push_back(QString::fromStdString(path)); }
    void cancel() { answers_.push_back(QString()); }
    const std::vector<FileDialogRequest>& requests() const { return requests_; }
    void clear();

private:
    std::deque<QString> answers_;
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
};

// Polls for a modal message box, records it and presses its button, so that no test hangs on
// a box and every box can be checked.
class MessageBoxCatcher : public QObject {
    Q_OBJECT
public:
    MessageBoxCatcher();
    const std::vector<ShownBox>& boxes() const { return boxes_; }
    void clear() { boxes_.clear(); }

private:
    void poll();
    QTimer timer_;
    std::vector<ShownBox> boxes_;
};

// A timer beating every 10 ms on the event loop; the longest gap between two beats while
// measuring() holds tells how long the loop was kept from running.
class Heartbeat : public QObject {
    Q_OBJECT
public:
    explicit Heartbeat(std::function<bool()> measuring);
    qint64 longestGapMs() const { return longest_; }
    int beats() const { return beats_; }

private:
    void beat();
    std::function<bool()> measuring_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    qint64 longest_ = 0;
    int beats_ = 0;
};

// The four records of the simulated device at index, read over its link.
struct DeviceRecords {
    APPConfiguration app{};
    APPConfiguration defaultApp{};
    MCConfiguration mc{};
    MCConfiguration defaultMc{};
};
DeviceRecords readDeviceRecords(int index = 0);

// The panel at index of a window, and its controls by object name (null when missing).
varko5ConfigWidget* panelAt(const MainWindow& window, int index);
QPushButton* button(const QWidget* panel, const char* name);
QLineEdit* lineEdit(const QWidget* panel, const char* name);
QString progressText(const varko5ConfigWidget* panel);

// Waits, serving the event loop, until the panel's worker (or every panel's) has no work left;
// false when it still has after timeoutMs.
bool waitIdle(const varko5ConfigWidget* panel, int timeoutMs = 10000);
bool waitIdle(const MainWindow& window, int timeoutMs = 10000);
// Clicks the panel's button and waits for the work it started, if any, and its box.
bool clickAndWait(varko5ConfigWidget* panel, const char* buttonName, int timeoutMs = 10000);

// The log texts of one level, for messages in test failures.
QString joined(const std::vector<std::string>& texts);
