// The window while controllers work: every device call runs on a panel's worker, never on the
// GUI thread (proved by noting the thread of each call, not by timing the event loop), a
// hanging controller holds up only its own panel, the window appears before any controller
// has answered, closing waits for a running write, Rescan follows the bridges, and many panels
// fit by scrolling.

#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"
#include "loader/mainwindow.h"
#include "loader/panel_texts.h"
#include "loader/varko5configwidget.h"
#include "simulator/backend.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextEdit>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <thread>

namespace {

const char* const MOTOR_XML = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<MCConfiguration>\n"
                              "    <l_current_max>42.5</l_current_max>\n"
                              "</MCConfiguration>\n";

// The simulated controllers of a scenario behind a backend that notes the thread of every
// device call and can hold a device.
struct RecordedSimulator {
    explicit RecordedSimulator(const std::string& scenario)
        : backend(std::make_shared<ThreadRecordingBackend>(makeSimulatedBackend(scenario))) {}
    operator std::shared_ptr<DeviceBackend>() const { return backend; } // NOLINT: handed on as is
    std::shared_ptr<ThreadRecordingBackend> backend;
};

QString listed(const std::vector<std::string>& calls) {
    QStringList names;
    for (const std::string& call : calls) {
        names << QString::fromStdString(call);
    }
    return names.join(QLatin1Char(' '));
}

} // namespace

class WorkerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoaderFixture> fixture_;

    const std::vector<ShownBox>& boxes() const { return fixture_->boxes.boxes(); }

    void browseMotorFile(varko5ConfigWidget* panel) {
        fixture_->files.answer(fixture_->dir.file("motor.xml"));
        button(panel, "browseMotorConfig_PushButton")->click();
        QVERIFY(button(panel, "updateMC")->isEnabled());
    }

private slots:
    void init() {
        fixture_ = std::make_unique<LoaderFixture>();
        writeFileBytes(fixture_->dir.file("motor.xml"), MOTOR_XML);
    }
    void cleanup() { fixture_.reset(); }

    void noDeviceCallRunsOnTheGuiThreadWhileSeveralPanelsWork() {
        const RecordedSimulator sim("devices=3;latency=20");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        QCOMPARE(window.panels().size(), std::size_t{3});
        varko5ConfigWidget* first = panelAt(window, 0);
        varko5ConfigWidget* second = panelAt(window, 1);
        varko5ConfigWidget* third = panelAt(window, 2);
        browseMotorFile(first);
        browseMotorFile(second);

        // Two updates, a save and the parameters of a third controller, all at once; then a
        // rescan, which tries nothing again, and the window closes.
        button(first, "updateMC")->click();
        button(second, "updateMC")->click();
        fixture_->files.answer(fixture_->dir.file("current.lpfp"));
        button(third, "getLpfp")->click();
        QVERIFY(first->isBusy() && second->isBusy() && third->isBusy());
        QVERIFY(waitIdle(window));
        button(third, "parameters_PushButton")->click();
        QVERIFY(third->parameterView() != nullptr);
        QVERIFY(waitIdle(third));
        window.rescanAction()->trigger();
        QVERIFY(waitIdle(window));

        QCOMPARE(boxes().size(), std::size_t{3});
        const std::vector<std::string> onGui = sim.backend->deviceCallsOn(std::this_thread::get_id());
        QVERIFY2(onGui.empty(), qPrintable(listed(onGui)));
        // Each controller was served by a thread of its own.
        QCOMPARE(sim.backend->otherThreads(std::this_thread::get_id()), std::size_t{3});
        QVERIFY(sim.backend->calls().size() > 100);
    }

    void twoUpdatesRunSideBySide() {
        const RecordedSimulator sim("devices=2");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        const HoldRelease releaseAtEnd(*sim.backend);
        window.show();
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* first = panelAt(window, 0);
        varko5ConfigWidget* second = panelAt(window, 1);
        browseMotorFile(first);
        browseMotorFile(second);

        // The first controller hangs as soon as its update begins; the second's whole update
        // runs to its end meanwhile, and the first's window stays usable.
        sim.backend->hold(0);
        button(first, "updateMC")->click();
        button(second, "updateMC")->click();
        QVERIFY(waitIdle(second));
        QVERIFY(first->isBusy());
        QCOMPARE(boxes().size(), std::size_t{1});
        QCOMPARE(boxes()[0].text, QStringLiteral("MC Configuration updated successfully"));
        QCOMPARE(boxes()[0].parent, static_cast<QWidget*>(second));

        sim.backend->release();
        QVERIFY(waitIdle(first));
        QCOMPARE(boxes().size(), std::size_t{2});
        QCOMPARE(boxes()[1].text, QStringLiteral("MC Configuration updated successfully"));
        QVERIFY(sim.backend->deviceCallsOn(std::this_thread::get_id()).empty());
    }

    void aHangingBridgeHoldsUpOnlyItsOwnPanel() {
        const RecordedSimulator sim("devices=2");
        // The first bridge hangs from its very first call, identification included.
        sim.backend->hold(0);
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        const HoldRelease releaseAtEnd(*sim.backend);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        varko5ConfigWidget* hanging = panelAt(window, 0);
        varko5ConfigWidget* working = panelAt(window, 1);
        QVERIFY(hanging != nullptr && working != nullptr);
        QVERIFY(waitIdle(working));
        QVERIFY(hanging->isBusy());

        // The other panel serves its user meanwhile, and the window repaints and resizes.
        fixture_->files.answer(fixture_->dir.file("current.lpfp"));
        QVERIFY(clickAndWait(working, "getLpfp"));
        QCOMPARE(boxes().size(), std::size_t{1});
        QCOMPARE(boxes()[0].title, QStringLiteral("SUCCESS"));
        window.resize(window.width() + 40, window.height() + 40);
        window.repaint();
        QVERIFY(hanging->isBusy());
        QVERIFY(lineEdit(hanging, "versionLineEdit")->text().isEmpty());

        sim.backend->release();
        QVERIFY(waitIdle(hanging));
        QCOMPARE(lineEdit(hanging, "versionLineEdit")->text(), QStringLiteral("5.2"));
        QVERIFY(sim.backend->deviceCallsOn(std::this_thread::get_id()).empty());
    }

    void theWindowAppearsBeforeAnyControllerAnswers() {
        // Four controllers, none of which answers anything until the window is on screen.
        const RecordedSimulator sim("devices=4");
        for (int i = 0; i < 4; ++i) {
            sim.backend->hold(i);
        }
        {
            const auto bridges = std::make_shared<SwitchableBackend>(sim);
            MainWindow window(bridges);
            const HoldRelease releaseAtEnd(*sim.backend);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.panels().size(), std::size_t{4});
            for (const varko5ConfigWidget* panel : window.panels()) {
                // Still identifying, each in its own worker.
                QVERIFY(panel->isBusy());
                QVERIFY(lineEdit(panel, "versionLineEdit")->text().isEmpty());
            }
            // The window goes away while the controllers are still being asked: it waits for
            // them, and nothing is left behind.
        }
        QVERIFY(boxes().empty());
    }

    void resultBoxesLeaveTheOtherPanelsUsable() {
        const SimBackend sim("devices=2");
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* first = panelAt(window, 0);
        varko5ConfigWidget* second = panelAt(window, 1);
        fixture_->boxes.setAnswering(false);

        fixture_->files.answer(fixture_->dir.file("first.lpfp"));
        QVERIFY(clickAndWait(first, "getLpfp"));
        QCOMPARE(boxes().size(), std::size_t{1});
        QMessageBox* firstBox = first->resultBox();
        QVERIFY(firstBox != nullptr && firstBox->isVisible());
        // Its title, text and single OK as ever, but it blocks nothing and stays the panel's.
        QCOMPARE(boxes()[0].title, QStringLiteral("SUCCESS"));
        QCOMPARE(boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(boxes()[0].modality, Qt::NonModal);
        QCOMPARE(firstBox->parentWidget(), static_cast<QWidget*>(first));
        QVERIFY(QApplication::activeModalWidget() == nullptr);

        // While it is open the other panel works, and so does this one.
        fixture_->files.answer(fixture_->dir.file("second.lpfp"));
        QVERIFY(clickAndWait(second, "getLpfp"));
        QCOMPARE(boxes().size(), std::size_t{2});
        QVERIFY(firstBox->isVisible());
        QVERIFY(button(first, "getLpfp")->isEnabled());

        // A result that arrives while a dialog is open elsewhere does not take the keyboard.
        QDialog elsewhere(&window);
        elsewhere.setModal(true);
        elsewhere.show();
        QVERIFY(QApplication::activeModalWidget() == &elsewhere);
        fixture_->files.answer(fixture_->dir.file("third.lpfp"));
        QVERIFY(clickAndWait(first, "getLpfp"));
        QVERIFY(first->resultBox() != firstBox);
        QVERIFY(first->resultBox()->testAttribute(Qt::WA_ShowWithoutActivating));
        elsewhere.hide();

        // The outcome stays on the panel after the boxes are gone.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                box->close();
            }
        }
        QVERIFY(QRegularExpression(
                    QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  SUCCESS: LPFP Configuration saved to: "))
                    .match(first->lastResult())
                    .hasMatch());
        QVERIFY(first->lastResult().endsWith(QStringLiteral("third.lpfp")));
    }

    void aTypedPathEnablesUpdate() {
        const SimBackend sim("devices=1");
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        window.show();
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QLineEdit* path = lineEdit(panel, "lpfpConfigFile_LineEdit");
        QVERIFY(!button(panel, "updateLPFP")->isEnabled());
        QTest::keyClicks(path, QStringLiteral("/tmp/typed.lpfp"));
        QVERIFY(button(panel, "updateLPFP")->isEnabled());
        path->selectAll();
        QTest::keyClick(path, Qt::Key_Delete);
        QVERIFY(!button(panel, "updateLPFP")->isEnabled());
    }

    void aLostBridgeIsShownGoneRetriedAndRemovable() {
        const RecordedSimulator sim("devices=2");
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        window.show();
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* lost = panelAt(window, 0);
        QPushButton* remove = button(lost, "remove_PushButton");
        QVERIFY(remove != nullptr && !remove->isVisibleTo(lost));

        // Pulled out: the next exchange fails, and the panel says the bridge is gone at once.
        sim.backend->unplug(0);
        fixture_->files.answer(fixture_->dir.file("lost.lpfp"));
        QVERIFY(clickAndWait(lost, "getLpfp"));
        QCOMPARE(boxes().size(), std::size_t{1});
        QVERIFY(boxes()[0].text.startsWith(
            QStringLiteral("Failed at retrieving LPFP Configuration\nLost the connection")));
        QVERIFY(lost->isDisconnected());
        QCOMPARE(lost->unavailableReason(), disconnectedText());
        QVERIFY(!button(lost, "getLpfp")->isEnabled());
        QVERIFY(remove->isVisibleTo(lost));

        // Plugged in again: Rescan tries the same panel again.
        sim.backend->replug();
        window.rescanAction()->trigger();
        QVERIFY(waitIdle(window));
        QVERIFY(!lost->isDisconnected());
        QVERIFY(lost->unavailableReason().isEmpty());
        QVERIFY(button(lost, "getLpfp")->isEnabled());
        QVERIFY(!remove->isVisibleTo(lost));

        // Gone for good: it can be removed, and the other panel stays.
        bridges->replace(SimBackend("devices=1;serial=VK5SIM0002"));
        window.rescanAction()->trigger();
        QVERIFY(waitIdle(window));
        QVERIFY(lost->isDisconnected());
        QVERIFY(remove->isVisibleTo(lost));
        const QPointer<varko5ConfigWidget> watched(lost);
        remove->click();
        QTRY_VERIFY(watched.isNull());
        QCOMPARE(window.panels().size(), std::size_t{1});
        QCOMPARE(window.panels()[0]->serialNumber(), QStringLiteral("VK5SIM0002"));
    }

    void newBridgesTakeTheirPlaceBySerialNumber() {
        const SimBackend two("devices=2;serial=VK5A,VK5C");
        const auto bridges = std::make_shared<SwitchableBackend>(two);
        MainWindow window(bridges);
        QVERIFY(waitIdle(window));
        bridges->replace(SimBackend("devices=3;serial=VK5A,VK5B,VK5C"));
        window.rescanAction()->trigger();
        QVERIFY(waitIdle(window));
        QStringList serials;
        for (const varko5ConfigWidget* panel : window.panels()) {
            serials << panel->serialNumber();
        }
        QCOMPARE(serials, (QStringList{"VK5A", "VK5B", "VK5C"}));
        QCOMPARE(lineEdit(window.panels()[1], "versionLineEdit")->text(), QStringLiteral("5.2"));
    }

    void anEmptyWindowSaysWhatToDo() {
        const SimBackend none("devices=0");
        const auto bridges = std::make_shared<SwitchableBackend>(none);
        MainWindow window(bridges);
        // The start-up box, as ever.
        QCOMPARE(boxes().size(), std::size_t{1});
        QCOMPARE(boxes()[0].text, QStringLiteral("No Varko 5 Devices found"));
        auto* hint = window.findChild<QLabel*>(QStringLiteral("noDeviceHint"));
        QVERIFY(hint != nullptr);
        QVERIFY(hint->isVisibleTo(&window));
        QCOMPARE(hint->text(), noDeviceHintText());
        bridges->replace(SimBackend("devices=1"));
        window.rescanAction()->trigger();
        QVERIFY(waitIdle(window));
        QVERIFY(!hint->isVisibleTo(&window));
    }

    void aDeviceListFailureShowsItsReason() {
        const SimBackend one("devices=1");
        const auto bridges = std::make_shared<SwitchableBackend>(one);
        MainWindow window(bridges);
        window.show();
        QVERIFY(waitIdle(window));
        bridges->replace(SimBackend("devices=1;list_error=4"));
        window.rescanAction()->trigger();
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Error: FT_CreateDeviceInfoList(...):  Status: 4 - The system could not be "
                                "asked for its serial ports."));
        QCOMPARE(boxes().size(), std::size_t{1});
        QCOMPARE(boxes()[0].text, QStringLiteral("Error: FT_CreateDeviceInfoList(...):  Status: 4"));
        QCOMPARE(boxes()[0].informativeText,
                 QStringLiteral("The system could not be asked for its serial ports."));
    }

    void closingDuringAWriteLetsTheWriteFinish() {
        const std::string state = fixture_->dir.file("device.state");
        const QByteArray scenario = "devices=1;latency=100;state=" + QByteArray::fromStdString(state);
        MCConfiguration expected;
        {
            const SimBackend sim(scenario);
            expected = readDeviceRecords(*sim).defaultMc;
        }
        expected.l_current_max = 42.5f;
        {
            const SimBackend sim(scenario);
            const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
            LogCapture log(spdlog::level::info);
            const auto bridges = std::make_shared<SwitchableBackend>(sim);
            MainWindow window(bridges);
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
            QVERIFY(boxes().empty());
            QVERIFY(log.contains("VK5SIM0001 - Varko 5 Bridge (simulated): SUCCESS: MC Configuration updated "
                                 "successfully"));
            QCOMPARE(progressText(panel).split(QLatin1Char('\n'), Qt::SkipEmptyParts).last(),
                     QStringLiteral("MC Configuration Validated"));
        }
        const SimBackend sim(scenario);
        QVERIFY(mcConfigEquals(readDeviceRecords(*sim).mc, expected));
    }

    void rescanFollowsTheBridges() {
        const SimBackend two("devices=2");
        const auto bridges = std::make_shared<SwitchableBackend>(two);
        MainWindow window(bridges);
        QVERIFY(waitIdle(window));
        QCOMPARE(window.panels().size(), std::size_t{2});
        QVERIFY(window.rescanAction() != nullptr);
        QCOMPARE(window.rescanAction()->text(), QStringLiteral("Rescan"));
        {
            // A third bridge plugged in: a panel of its own, identified by its own worker.
            bridges->replace(SimBackend("devices=3"));
            window.rescanAction()->trigger();
            QVERIFY(waitIdle(window));
            QCOMPARE(window.panels().size(), std::size_t{3});
            QCOMPARE(window.panels()[2]->serialNumber(), QStringLiteral("VK5SIM0003"));
            QCOMPARE(lineEdit(window.panels()[2], "versionLineEdit")->text(), QStringLiteral("5.2"));
            QVERIFY(window.panels()[2]->unavailableReason().isEmpty());
        }
        {
            // Two unplugged: their panels stay, marked, with the rows off.
            bridges->replace(SimBackend("devices=1"));
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
        bridges->replace(SimBackend("devices=3"));
        window.rescanAction()->trigger();
        QVERIFY(waitIdle(window));
        QCOMPARE(window.panels().size(), std::size_t{3});
        for (const varko5ConfigWidget* panel : window.panels()) {
            QVERIFY(!panel->isDisconnected());
            QVERIFY(panel->unavailableReason().isEmpty());
            QVERIFY(button(panel, "getLpfp")->isEnabled());
            QVERIFY(!button(panel, "updateLPFP")->isEnabled());
        }
        QVERIFY(boxes().empty());
    }

    void sixPanelsFitByScrolling() {
        const SimBackend sim("devices=6");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        // The window fits itself to the screen once more after it is shown (its frame is known
        // then); a real window system can expose it before that second fit has run.
        QCoreApplication::processEvents();
        // A room of 1280 by 1000 pixels, or taller where the fonts make the window's least height
        // more (wine's stand-in fonts are some three times as tall), but always shorter than the
        // six panels: they must scroll.
        const int frameHeight = window.frameGeometry().height() - window.height();
        const QSize room(1280, std::max(1000, window.minimumSizeHint().height() + frameHeight + 100));
        auto* panelArea = window.findChild<QWidget*>(QStringLiteral("panelArea"));
        QVERIFY(panelArea != nullptr);
        QVERIFY(panelArea->sizeHint().height() > room.height());
        window.fitToRoom(room);
        // A real window system applies the new geometry when it answers; offscreen at once.
        QTRY_VERIFY2(window.frameGeometry().width() <= room.width() &&
                         window.frameGeometry().height() <= room.height(),
                     qPrintable(QStringLiteral("%1x%2")
                                    .arg(window.frameGeometry().width())
                                    .arg(window.frameGeometry().height())));
        QVERIFY(window.height() > 600); // the room is used
        QVERIFY(window.width() > 1100); // and so is the width of a 1280-pixel screen
        auto* scroller = window.findChild<QScrollArea*>(QStringLiteral("panelScrollArea"));
        QVERIFY(scroller != nullptr);
        QVERIFY(scroller->verticalScrollBar()->maximum() > 0);
        QCOMPARE(scroller->horizontalScrollBar()->maximum(), 0);
        for (const varko5ConfigWidget* panel : window.panels()) {
            // Not squeezed: every row keeps its height; no panel carries an empty log.
            QVERIFY(panel->height() >= panel->minimumSizeHint().height());
            QVERIFY(panel->progressLog()->isHidden());
            // The path field is not cut to a sliver next to its four buttons.
            QVERIFY(lineEdit(panel, "lpfpConfigFile_LineEdit")->width() >= 220);
        }
        varko5ConfigWidget* last = window.panels().back();
        QVERIFY(last->visibleRegion().isEmpty());
        scroller->ensureWidgetVisible(last);
        QVERIFY(!last->visibleRegion().isEmpty());
    }

    void theWindowFitsBeforeItHasAFrame() {
        // Fitted before the window manager has framed it: the decoration is reckoned all the
        // same, so the status bar stays on the screen.
        const SimBackend sim("devices=6");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        QVERIFY(waitIdle(window));
        const QSize room(1024, 700);
        window.fitToRoom(room);
        QVERIFY(window.height() < room.height());
        QVERIFY(window.width() < room.width());
        QVERIFY(window.height() > 500);
    }

    void theProgressLogGrowsWithTheWindow() {
        const SimBackend sim("devices=1");
        const DeviceRecords records = readDeviceRecords(*sim);
        const std::string lpfp = fixture_->dir.file("both.lpfp");
        writeLpfpFile({records.defaultApp, records.defaultMc}, lpfp);
        const auto bridges = std::make_shared<SwitchableBackend>(sim);
        MainWindow window(bridges);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        // The log appears with the first line of an update.
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel->progressLog()->isHidden());
        fixture_->files.answer(lpfp);
        button(panel, "browseLPFPConfig_PushButton")->click();
        QVERIFY(clickAndWait(panel, "updateLPFP"));
        QVERIFY(!panel->progressLog()->isHidden());
        // Each line has its time; none is followed by an empty one.
        const QStringList lines = panel->progressLog()->toPlainText().split(QLatin1Char('\n'));
        QVERIFY(lines.size() > 3);
        for (const QString& line : lines) {
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  \\S")).match(line).hasMatch(),
                     qPrintable(line));
        }
        // The result stays in view after its box: the time, the outcome and the backup.
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  SUCCESS: Configuration updated "
                                                   "successfully\nBackup: .+\\.lpfp$"))
                     .match(panel->lastResult())
                     .hasMatch(),
                 qPrintable(panel->lastResult()));
        // From a window that shows the whole panel, however tall the fonts make it, 250 pixels
        // taller; each size once the layout has followed it.
        window.fitToRoom(QSize(1000, 4000));
        QCoreApplication::processEvents();
        const int smallWindow = window.height();
        QTRY_VERIFY(panelAt(window, 0)->height() >= panelAt(window, 0)->sizeHint().height());
        const int small = panelAt(window, 0)->progressLog()->height();
        window.resize(1000, smallWindow + 250);
        QCoreApplication::processEvents();
        QTRY_VERIFY(window.height() - smallWindow >= 100);
        // The log takes the height the window gains, once the layout has followed the window.
        QTRY_VERIFY2(panelAt(window, 0)->progressLog()->height() - small >=
                         window.height() - smallWindow - 10,
                     qPrintable(QStringLiteral("window +%1, log %2 -> %3")
                                    .arg(window.height() - smallWindow)
                                    .arg(small)
                                    .arg(panelAt(window, 0)->progressLog()->height())));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WorkerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "worker_test.moc"
