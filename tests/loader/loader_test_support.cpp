#include "tests/loader/loader_test_support.h"

#include "core/device/arm_link.h"
#include "core/device/device_list.h"

#include "loader/mainwindow.h"
#include "loader/varko5configwidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>

#include <algorithm>

#include <utility>

#include <spdlog/spdlog.h>

ScopedEnv::ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name) {
    if (qEnvironmentVariableIsSet(name)) {
        previous_ = qgetenv(name);
    }
    if (value) {
        qputenv(name, *value);
    } else {
        qunsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        qputenv(name_.constData(), *previous_);
    } else {
        qunsetenv(name_.constData());
    }
}

FileAnswers::FileAnswers() {
    previous_ = setFileDialogFunction([this](const FileDialogRequest& request) {
        requests_.push_back(request);
        if (answers_.empty()) {
            return QString();
        }
        auto [path, filter] = answers_.front();
        answers_.pop_front();
        if (request.chosenFilter != nullptr && !filter.isEmpty()) {
            *request.chosenFilter = filter;
        }
        return path;
    });
}

FileAnswers::~FileAnswers() {
    setFileDialogFunction(std::move(previous_));
}

void FileAnswers::clear() {
    answers_.clear();
    requests_.clear();
}

MessageBoxCatcher::MessageBoxCatcher() {
    QCoreApplication::instance()->installEventFilter(this);
}

MessageBoxCatcher::~MessageBoxCatcher() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool MessageBoxCatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Show) {
        return false;
    }
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box == nullptr) {
        return false;
    }
    boxes_.push_back({box->icon(), box->windowTitle(), box->text(), box->standardButtons(),
                      box->parentWidget(), box->informativeText(), box->frameGeometry(),
                      box->windowModality(), box->detailedText()});
    // Some boxes get their button only as they are shown (QMessageBox::about): it is read on
    // the next turn of the event loop.
    const QPointer<QMessageBox> shown(box);
    const std::size_t at = boxes_.size() - 1;
    QTimer::singleShot(0, this, [this, shown, at] {
        if (!shown) {
            return;
        }
        if (at < boxes_.size() && boxes_[at].buttons == QMessageBox::NoButton) {
            boxes_[at].buttons = shown->standardButtons();
        }
        if (!answering_) {
            return;
        }
        if (QAbstractButton* ok = shown->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            shown->reject();
        }
    });
    return false;
}

namespace {

// Passes every call on, noting each as it is made.
class RecordingPort final : public DevicePort {
public:
    RecordingPort(std::unique_ptr<DevicePort> inner, ThreadRecordingBackend& record, int index)
        : inner_(std::move(inner)), record_(record), index_(index) {}
    std::string name() const override { return inner_->name(); }
    DeviceStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        record_.note("timeouts", index_);
        return inner_->setTimeouts(readMs, writeMs);
    }
    DeviceStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) override {
        record_.note("read", index_);
        if (record_.unplugged(index_)) {
            return STATUS_IO_ERROR;
        }
        return inner_->read(buffer, count, received);
    }
    DeviceStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override {
        record_.note("write", index_);
        if (record_.unplugged(index_)) {
            return STATUS_IO_ERROR;
        }
        return inner_->write(data, count, written);
    }
    DeviceStatus queued(std::uint32_t& received) override {
        record_.note("queued", index_);
        if (record_.unplugged(index_)) {
            return STATUS_IO_ERROR;
        }
        return inner_->queued(received);
    }
    DeviceStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                            std::uint32_t& received) override {
        record_.note("wait", index_);
        if (record_.unplugged(index_)) {
            return STATUS_IO_ERROR;
        }
        return inner_->waitQueued(count, deadline, received);
    }
    DeviceStatus chipId(std::uint32_t& id) override {
        record_.note("chipId", index_);
        return inner_->chipId(id);
    }
    LineTiming timing() const override { return inner_->timing(); }

private:
    std::unique_ptr<DevicePort> inner_;
    ThreadRecordingBackend& record_;
    int index_;
};

} // namespace

ThreadRecordingBackend::ThreadRecordingBackend(std::shared_ptr<DeviceBackend> inner)
    : inner_(std::move(inner)) {}

DeviceStatus ThreadRecordingBackend::listDevices(std::vector<DeviceInfoNode>& nodes) {
    note("list");
    return inner_->listDevices(nodes);
}

OpenResult ThreadRecordingBackend::open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) {
    // Held and unplugged devices are named by their place in the inner backend's list.
    std::vector<DeviceInfoNode> listed;
    inner_->listDevices(listed);
    int index = -1;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (serialNumberOf(listed[i]) == serialNumberOf(node)) {
            index = static_cast<int>(i);
        }
    }
    note("open", index);
    std::unique_ptr<DevicePort> opened;
    OpenResult result = inner_->open(node, opened);
    if (opened) {
        port = std::make_unique<RecordingPort>(std::move(opened), *this, index);
    }
    return result;
}

void ThreadRecordingBackend::hold(int index) {
    const std::lock_guard<std::mutex> lock(mutex_);
    held_.push_back(index);
}

void ThreadRecordingBackend::release() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        held_.clear();
    }
    released_.notify_all();
}

void ThreadRecordingBackend::unplug(int index) {
    const std::lock_guard<std::mutex> lock(mutex_);
    unplugged_.push_back(index);
}

void ThreadRecordingBackend::replug() {
    const std::lock_guard<std::mutex> lock(mutex_);
    unplugged_.clear();
}

bool ThreadRecordingBackend::unplugged(int index) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::find(unplugged_.begin(), unplugged_.end(), index) != unplugged_.end();
}

void ThreadRecordingBackend::note(const char* what, int index) {
    std::unique_lock<std::mutex> lock(mutex_);
    calls_.push_back({what, std::this_thread::get_id()});
    released_.wait(lock,
                   [this, index] { return std::find(held_.begin(), held_.end(), index) == held_.end(); });
}

std::vector<ThreadRecordingBackend::Call> ThreadRecordingBackend::calls() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<std::string> ThreadRecordingBackend::deviceCallsOn(std::thread::id thread) const {
    std::vector<std::string> found;
    for (const Call& call : calls()) {
        if (call.thread == thread && call.what != "list") {
            found.push_back(call.what);
        }
    }
    return found;
}

std::size_t ThreadRecordingBackend::otherThreads(std::thread::id thread) const {
    std::vector<std::thread::id> seen;
    for (const Call& call : calls()) {
        if (call.thread != thread && call.what != "list" &&
            std::find(seen.begin(), seen.end(), call.thread) == seen.end()) {
            seen.push_back(call.thread);
        }
    }
    return seen.size();
}

LoaderFixture::LoaderFixture()
    : dataHome("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data"))),
      localData("LOCALAPPDATA", QByteArray::fromStdString(dir.file("data"))) {}

LoaderFixture::~LoaderFixture() {
    spdlog::set_level(spdlog::level::info);
}

DeviceRecords readDeviceRecords(DeviceBackend& backend, int index) {
    DeviceHandle handle = openListed(backend, static_cast<std::size_t>(index));
    ArmLink link(handle);
    link.flush();
    DeviceRecords records;
    records.app = link.ARM_getAppConfig();
    records.defaultApp = link.ARM_getDefaultAppConfig();
    records.mc = link.ARM_getMCConfig();
    records.defaultMc = link.ARM_getDefaultMCConfig();
    return records;
}

QString joined(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list << QString::fromStdString(text);
    }
    return list.join(QStringLiteral(" | "));
}

varko5ConfigWidget* panelAt(const MainWindow& window, int index) {
    const std::vector<varko5ConfigWidget*> panels = window.panels();
    return index >= 0 && static_cast<std::size_t>(index) < panels.size()
               ? panels[static_cast<std::size_t>(index)]
               : nullptr;
}

QPushButton* button(const QWidget* panel, const char* name) {
    return panel->findChild<QPushButton*>(QString::fromLatin1(name));
}

QLineEdit* lineEdit(const QWidget* panel, const char* name) {
    return panel->findChild<QLineEdit*>(QString::fromLatin1(name));
}

QString progressText(const varko5ConfigWidget* panel) {
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  "));
    QStringList lines = panel->progressLog()->toPlainText().split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line.remove(stamp);
    }
    return lines.join(QLatin1Char('\n'));
}

bool waitIdle(const varko5ConfigWidget* panel, int timeoutMs) {
    return QTest::qWaitFor([panel] { return !panel->isBusy(); }, timeoutMs);
}

bool waitIdle(const MainWindow& window, int timeoutMs) {
    return QTest::qWaitFor(
        [&window] {
            const std::vector<varko5ConfigWidget*> panels = window.panels();
            return std::none_of(panels.begin(), panels.end(),
                                [](const varko5ConfigWidget* panel) { return panel->isBusy(); });
        },
        timeoutMs);
}

bool clickAndWait(varko5ConfigWidget* panel, const char* buttonName, int timeoutMs) {
    QPushButton* pushed = button(panel, buttonName);
    if (pushed == nullptr) {
        return false;
    }
    pushed->click();
    return waitIdle(panel, timeoutMs);
}

// The offscreen platform plugin of Qt 5 never frees its screen and cursor objects; without
// these entries every loader test would end in a leak report under LeakSanitizer. Objects of
// our own are allocated from our frames and are still reported.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n"
           "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n"
           "leak:QObject::QObject\n"
           "leak:QtSharedPointer::ExternalRefCountData::getAndRef\n";
}
