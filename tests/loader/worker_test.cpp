// The window while controllers work: exchanges run on the panels' workers, so the event loop
// keeps running under slow and silent controllers, panels work side by side, the window
// appears before any controller has answered, closing waits for a running write, Rescan
// follows the bridges, and many panels fit by scrolling.

#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "loader/mainwindow.h"
#include "loader/panel_texts.h"
#include "loader/varko5configwidget.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextEdit>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const char* const MOTOR_XML = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<MCConfiguration>\n"
                              "    <l_current_max>42.5</l_current_max>\n"
                              "</MCConfiguration>\n";

// The goal: the event loop never waits longer than this for a controller.
constexpr qint64 MAX_GAP_MS = 50;

bool anyBusy(const MainWindow& window) {
    const std::vector<varko5ConfigWidget*> panels = window.panels();
    return std::any_of(panels.begin(), panels.end(),
                       [](const varko5ConfigWidget* panel) { return panel->isBusy(); });
}

} // namespace

class WorkerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MessageBoxCatcher> boxes_;
    std::unique_ptr<FileAnswers> files_;
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ScopedEnv> dataHome_;
    std::unique_ptr<LogCapture> quiet_;

    void browseMotorFile(varko5ConfigWidget* panel) {
        files_->answer(dir_->file("motor.xml"));
        button(panel, "browseMotorConfig_PushButton")->click();
        QVERIFY(button(panel, "updateMC")->isEnabled());
    }

private slots:
    void init() {
        boxes_ = std::make_unique<MessageBoxCatcher>();
        files_ = std::make_unique<FileAnswers>();
        dir_ = std::make_unique<TempDir>();
        dataHome_ =
            std::make_unique<ScopedEnv>("XDG_DATA_HOME", QByteArray::fromStdString(dir_->file("data")));
        quiet_ = std::make_unique<LogCapture>();
        writeFileBytes(dir_->file("motor.xml"), MOTOR_XML);
    }
    void cleanup() {
        files_.reset();
        boxes_.reset();
        dataHome_.reset();
        dir_.reset();
        quiet_.reset();
        spdlog::set_level(spdlog::level::info);
    }

    void twoUpdatesRunSideBySideAndTheLoopKeepsBeating() {
        // Every reply of both controllers takes 400 ms.
        const ScopedSimulator sim("devices=2;latency=400");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* first = panelAt(window, 0);
        varko5ConfigWidget* second = panelAt(window, 1);
        QVERIFY(first != nullptr && second != nullptr);
        browseMotorFile(first);
        browseMotorFile(second);

        const Heartbeat heartbeat([&window] { return anyBusy(window); });
        button(first, "updateMC")->click();
        button(second, "updateMC")->click();
        QVERIFY(first->isBusy() && second->isBusy());
        // Both have got past their backups while both are still at work: neither waits for
        // the other.
        const QString step = QStringLiteral("Getting Default MC Configuration");
        QTRY_VERIFY_WITH_TIMEOUT(progressText(first).contains(step) && progressText(second).contains(step) &&
                                     first->isBusy() && second->isBusy(),
                                 5000);
        QVERIFY(waitIdle(window));
        QCOMPARE(boxes_->boxes().size(), std::size_t{2});
        for (const ShownBox& box : boxes_->boxes()) {
            QCOMPARE(box.text, QStringLiteral("MC Configuration updated successfully"));
        }
        QVERIFY(heartbeat.beats() > 100);
        QVERIFY2(heartbeat.longestGapMs() <= MAX_GAP_MS,
                 qPrintable(QString::number(heartbeat.longestGapMs())));
    }

    void aSilentBridgeHoldsUpOnlyItsOwnPanel() {
        // The first bridge answers nothing: identifying it takes the whole reply time-out.
        const ScopedSimulator sim("devices=2;fault=silent_bridge;fault_device=0");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        varko5ConfigWidget* silent = panelAt(window, 0);
        varko5ConfigWidget* working = panelAt(window, 1);
        QVERIFY(silent != nullptr && working != nullptr);
        const Heartbeat heartbeat([&window] { return anyBusy(window); });
        QVERIFY(waitIdle(working));
        QVERIFY(silent->isBusy());

        // The other panel serves its user meanwhile.
        files_->answer(dir_->file("current.lpfp"));
        QVERIFY(clickAndWait(working, "getLpfp"));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("SUCCESS"));
        QVERIFY(silent->isBusy());
        // The window repaints and resizes.
        window.resize(window.width() + 40, window.height() + 40);
        window.repaint();

        QVERIFY(waitIdle(silent));
        QVERIFY(silent->unavailableReason().startsWith(QString::fromLatin1(TIMED_OUT_TEXT)));
        QVERIFY(heartbeat.beats() > 50);
        QVERIFY2(heartbeat.longestGapMs() <= MAX_GAP_MS,
                 qPrintable(QString::number(heartbeat.longestGapMs())));
    }

    void theWindowAppearsBeforeSlowControllersAnswer() {
        // Four controllers, each answering after a second.
        const ScopedSimulator sim("devices=4;latency=1000");
        QElapsedTimer clock;
        clock.start();
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            const qint64 visibleAfter = clock.elapsed();
            QVERIFY2(visibleAfter < 1000, qPrintable(QString::number(visibleAfter)));
            QCOMPARE(window.panels().size(), std::size_t{4});
            for (const varko5ConfigWidget* panel : window.panels()) {
                // Still identifying, each in its own worker.
                QVERIFY(panel->isBusy());
                QVERIFY(lineEdit(panel, "versionLineEdit")->text().isEmpty());
            }
            // The window goes away while the controllers are still being asked: it waits for
            // them, and nothing is left behind.
        }
        QVERIFY(boxes_->boxes().empty());
    }

    void closingDuringAWriteLetsTheWriteFinish() {
        const std::string state = dir_->file("device.state");
        const QByteArray scenario = "devices=1;latency=100;state=" + QByteArray::fromStdString(state);
        MCConfiguration expected;
        {
            const ScopedSimulator sim(scenario);
            expected = readDeviceRecords().defaultMc;
        }
        expected.l_current_max = 42.5f;
        {
            const ScopedSimulator sim(scenario);
            const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
            LogCapture log(spdlog::level::info);
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(waitIdle(window));
            varko5ConfigWidget* panel = panelAt(window, 0);
            browseMotorFile(panel);
            button(panel, "updateMC")->click();
            QVERIFY(panel->isBusy());

            // The close waits: the window stays, nothing can be started, the write goes on.
            QVERIFY(!window.close());
            QVERIFY(window.isVisible());
            QVERIFY(!panel->isEnabled());
            QVERIFY(!window.rescanAction()->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 10000);
            QVERIFY(!panel->isBusy());
            // Its result went to the log, not into a box over a closing window.
            QVERIFY(boxes_->boxes().empty());
            QVERIFY(log.contains("VK5SIM0001 - Varko 5 Bridge (simulated): SUCCESS: MC Configuration updated "
                                 "successfully"));
            QCOMPARE(progressText(panel).split(QLatin1Char('\n'), Qt::SkipEmptyParts).last(),
                     QStringLiteral("MC Configuration Validated"));
        }
        const ScopedSimulator sim(scenario);
        QVERIFY(mcConfigEquals(readDeviceRecords().mc, expected));
    }

    void rescanFollowsTheBridges() {
        const ScopedSimulator two("devices=2");
        MainWindow window;
        QVERIFY(waitIdle(window));
        QCOMPARE(window.panels().size(), std::size_t{2});
        QVERIFY(window.rescanAction() != nullptr);
        QCOMPARE(window.rescanAction()->text(), QStringLiteral("Rescan"));
        {
            // A third bridge plugged in: a panel of its own, identified by its own worker.
            const ScopedSimulator three("devices=3");
            window.rescanAction()->trigger();
            QVERIFY(waitIdle(window));
            QCOMPARE(window.panels().size(), std::size_t{3});
            QCOMPARE(window.panels()[2]->serialNumber(), QStringLiteral("VK5SIM0003"));
            QCOMPARE(lineEdit(window.panels()[2], "versionLineEdit")->text(), QStringLiteral("5.2"));
            QVERIFY(window.panels()[2]->unavailableReason().isEmpty());
        }
        {
            // Two unplugged: their panels stay, marked, with the rows off.
            const ScopedSimulator one("devices=1");
            window.rescanAction()->trigger();
            QVERIFY(waitIdle(window));
            QCOMPARE(window.panels().size(), std::size_t{3});
            QVERIFY(window.panels()[0]->unavailableReason().isEmpty());
            for (std::size_t i = 1; i < 3; ++i) {
                QVERIFY(window.panels()[i]->isDisconnected());
                QCOMPARE(window.panels()[i]->unavailableReason(), disconnectedText());
                QVERIFY(!button(window.panels()[i], "getLpfp")->isEnabled());
            }
        }
        // Plugged in again: the same panels take them back.
        const ScopedSimulator again("devices=3");
        window.rescanAction()->trigger();
        QVERIFY(waitIdle(window));
        QCOMPARE(window.panels().size(), std::size_t{3});
        for (const varko5ConfigWidget* panel : window.panels()) {
            QVERIFY(!panel->isDisconnected());
            QVERIFY(panel->unavailableReason().isEmpty());
            QVERIFY(button(panel, "getLpfp")->isEnabled());
            QVERIFY(!button(panel, "updateLPFP")->isEnabled());
        }
        QVERIFY(boxes_->boxes().empty());
    }

    void sixPanelsFitByScrolling() {
        const ScopedSimulator sim("devices=6");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        const QSize room(1280, 1000);
        window.fitToRoom(room);
        QCoreApplication::processEvents();
        QVERIFY2(window.frameGeometry().width() <= room.width() &&
                     window.frameGeometry().height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2")
                                .arg(window.frameGeometry().width())
                                .arg(window.frameGeometry().height())));
        QVERIFY(window.height() > 600); // the room is used
        auto* scroller = window.findChild<QScrollArea*>(QStringLiteral("panelScrollArea"));
        QVERIFY(scroller != nullptr);
        QVERIFY(scroller->verticalScrollBar()->maximum() > 0);
        QCOMPARE(scroller->horizontalScrollBar()->maximum(), 0);
        for (const varko5ConfigWidget* panel : window.panels()) {
            // Not squeezed: every row keeps its height, the log at least its minimum.
            QVERIFY(panel->height() >= panel->minimumSizeHint().height());
            QVERIFY(panel->progressLog()->height() >= 80);
        }
        varko5ConfigWidget* last = window.panels().back();
        QVERIFY(last->visibleRegion().isEmpty());
        scroller->ensureWidgetVisible(last);
        QVERIFY(!last->visibleRegion().isEmpty());
    }

    void theProgressLogGrowsWithTheWindow() {
        const ScopedSimulator sim("devices=1");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        window.resize(800, window.minimumSizeHint().height());
        QCoreApplication::processEvents();
        const int smallWindow = window.height();
        const int small = panelAt(window, 0)->progressLog()->height();
        window.resize(800, smallWindow + 250);
        QCoreApplication::processEvents();
        const int grown = window.height() - smallWindow;
        const int large = panelAt(window, 0)->progressLog()->height();
        // The log takes the height the window gains.
        QVERIFY(grown >= 100);
        QVERIFY2(large - small >= grown - 10,
                 qPrintable(QStringLiteral("window +%1, log %2 -> %3").arg(grown).arg(small).arg(large)));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WorkerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "worker_test.moc"
