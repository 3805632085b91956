#include "tests/loader/loader_test_support.h"

#include "core/device/arm_link.h"
#include "core/device/device_list.h"

#include "loader/mainwindow.h"
#include "loader/varko5configwidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <algorithm>

#include <utility>

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
        QString path = answers_.front();
        answers_.pop_front();
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
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &MessageBoxCatcher::poll);
    timer_.start();
}

void MessageBoxCatcher::poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
        return;
    }
    boxes_.push_back({box->icon(), box->windowTitle(), box->text(), box->standardButtons(),
                      box->parentWidget(), box->informativeText(), box->frameGeometry()});
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    if (ok != nullptr) {
        ok->click();
    } else {
        box->reject();
    }
}

Heartbeat::Heartbeat(std::function<bool()> measuring) : measuring_(std::move(measuring)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &Heartbeat::beat);
    clock_.start();
    timer_.start();
}

void Heartbeat::beat() {
    const qint64 now = clock_.elapsed();
    if (!measuring_()) {
        last_ = -1;
        return;
    }
    if (last_ >= 0) {
        longest_ = std::max(longest_, now - last_);
        ++beats_;
    }
    last_ = now;
}

DeviceRecords readDeviceRecords(int index) {
    DeviceHandle handle = openDeviceByIndex(index);
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
    return panel->progressLog()->toPlainText();
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
