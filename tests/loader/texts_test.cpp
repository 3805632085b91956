// What the panels say, as functions of what the operations reported: the reasons of a failed
// update (at most ten differing fields), whether a backup stopped it, why a panel cannot be
// used, the device's name, and the extension a file to save gets.

#include "loader/file_dialogs.h"
#include "loader/panel_texts.h"

#include <QtTest>

namespace {

RecordOutcome differingOutcome(int fields) {
    RecordOutcome outcome;
    outcome.requested = true;
    outcome.sent = true;
    outcome.answer = SetReply{SetAnswer::Accepted, {}};
    for (int i = 0; i < fields; ++i) {
        // The views stay valid: the keys are string literals' storage below.
        static const std::string keys[] = {"k0", "k1", "k2", "k3", "k4",  "k5",
                                           "k6", "k7", "k8", "k9", "k10", "k11"};
        outcome.differences.push_back({"MCConfiguration", keys[i], std::to_string(i), std::to_string(i + 1)});
    }
    return outcome;
}

OpEvent stepEvent(OpStep step) {
    OpEvent made;
    made.step = step;
    return made;
}

} // namespace

class TextsTest : public QObject {
    Q_OBJECT

private slots:
    void differencesAreListedUpToTen_data() {
        QTest::addColumn<int>("fields");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one") << 1
                             << "MC Configuration: the read-back copy differs in 1 field:\n"
                                "  k0: sent 0, read back 1";
        QString ten = QStringLiteral("MC Configuration: the read-back copy differs in 10 fields:");
        for (int i = 0; i < 10; ++i) {
            ten += QStringLiteral("\n  k%1: sent %1, read back %2").arg(i).arg(i + 1);
        }
        QTest::newRow("ten") << 10 << ten;
        QString twelve = ten;
        twelve.replace(QStringLiteral("10 fields"), QStringLiteral("12 fields"));
        QTest::newRow("twelve") << 12 << twelve + QStringLiteral("\n  and 2 more");
    }
    void differencesAreListedUpToTen() {
        QFETCH(int, fields);
        QFETCH(QString, expected);
        ApplyResult result;
        result.mc = differingOutcome(fields);
        QCOMPARE(applyFailureDetail(result), expected);
    }

    void eachFailedRecordSaysWhatBecameOfIt() {
        ApplyResult result;
        QCOMPARE(applyFailureDetail(result), QString());

        // Refused application record, motor record whose exchange timed out and ended the apply.
        result.app.requested = true;
        result.app.sent = true;
        result.mc.requested = true;
        result.mc.sent = true;
        result.mc.error = TIMED_OUT_TEXT;
        result.error = TIMED_OUT_TEXT;
        QCOMPARE(applyFailureDetail(result),
                 QStringLiteral("APP Configuration: refused by the controller, nothing was stored\n"
                                "MC Configuration: ARM timed out. It may not be powered."));

        // The apply ended after the application record: the motor record is named as not
        // sent, and the reason that ended it closes the list when no record carries it.
        ApplyResult midway;
        midway.app.requested = true;
        midway.app.sent = true;
        midway.app.answer = SetReply{SetAnswer::Accepted, {}};
        midway.app.verified = true;
        midway.mc.requested = true;
        midway.error = "Reply from controller is not a valid packet";
        QCOMPARE(applyFailureDetail(midway),
                 QStringLiteral("MC Configuration: not sent\nReply from controller is not a valid packet"));

        // Nothing sent at all: the reason alone.
        ApplyResult early;
        early.app.requested = true;
        early.mc.requested = true;
        early.error = "/tmp/x.lpfp: Invalid Configuration File";
        QCOMPARE(applyFailureDetail(early), QStringLiteral("/tmp/x.lpfp: Invalid Configuration File"));

        // A record that was not asked for is not mentioned.
        ApplyResult mcOnly;
        mcOnly.mc = differingOutcome(1);
        mcOnly.mc.differences.clear();
        QCOMPARE(applyFailureDetail(mcOnly),
                 QStringLiteral("MC Configuration: the read-back copy differs from the record sent"));

        ApplyResult backup = early;
        backup.error = "Cannot create backup folder /x";
        QCOMPARE(applyFailureDetail(backup, true),
                 QStringLiteral("Backup failed, nothing was sent: Cannot create backup folder /x"));
    }

    void aBackupStopsAnUpdateOnlyBeforeItIsSaved() {
        BackupWatch saved{true};
        saved.see(stepEvent(OpStep::BackupSaved));
        saved.see(stepEvent(OpStep::Failed));
        QVERIFY(!saved.stopped);

        BackupWatch unwritable{true};
        unwritable.see(stepEvent(OpStep::BackupFailed));
        QVERIFY(unwritable.stopped);

        // A silent controller while the records for the backup are read.
        BackupWatch silent{true};
        silent.see(stepEvent(OpStep::Failed));
        QVERIFY(silent.stopped);

        BackupWatch none{false};
        none.see(stepEvent(OpStep::Failed));
        QVERIFY(!none.stopped);
    }

    void unavailableTextsLeadWithTheSystemsMessage() {
        ControllerIdentity identity;
        QVERIFY(unavailableText(identity).isEmpty());
        identity.problem = ControllerIdentity::Problem::Firmware;
        identity.version = FirmwareVersion{5, 1, true};
        QVERIFY(unavailableText(identity).startsWith(QStringLiteral(
            "This application only works with FW version 5.2\nThis controller reports firmware 5.1;")));
        identity.problem = ControllerIdentity::Problem::NoAnswer;
        QVERIFY(
            unavailableText(identity).startsWith(QStringLiteral("ARM timed out. It may not be powered.\n")));
        identity.problem = ControllerIdentity::Problem::InUse;
        QVERIFY(
            unavailableText(identity).startsWith(QStringLiteral("The port is in use by another program.\n")));
        identity.problem = ControllerIdentity::Problem::NoVersion;
        identity.detail = "short reply";
        QCOMPARE(
            unavailableText(identity),
            QStringLiteral("Failed at getting ARM Version.\nThe controller's answer could not be read: short "
                           "reply."));
    }

    void devicesAreNamedBySerialAndDescription() {
        QCOMPARE(deviceTitle(QStringLiteral("S1"), QStringLiteral("Bridge")), QStringLiteral("S1 - Bridge"));
        QCOMPARE(deviceTitle(QString(), QStringLiteral("Bridge")), QStringLiteral("Bridge"));
        QCOMPARE(deviceTitle(QStringLiteral("S1"), QString()), QStringLiteral("S1"));
        QCOMPARE(chipIdText(0x1A), QStringLiteral("0x0000001A"));
        QCOMPARE(chipIdText(0xFFFFFFFFu), QStringLiteral("0xFFFFFFFF"));
    }

    void filesToSaveGetTheFiltersExtension_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare name") << "LPFP Files(*.lpfp)"
                                   << "/d/cur1"
                                   << "/d/cur1.lpfp";
        QTest::newRow("has it") << "LPFP Files(*.lpfp)"
                                << "/d/cur1.lpfp"
                                << "/d/cur1.lpfp";
        QTest::newRow("other extension kept") << "XML (*.xml *.XML)"
                                              << "/d/cur1.txt"
                                              << "/d/cur1.txt";
        QTest::newRow("dot in the folder") << "XML (*.xml *.XML)"
                                           << "/d.v2/cur1"
                                           << "/d.v2/cur1.xml";
        QTest::newRow("trailing dot") << "XML (*.xml)"
                                      << "/d/cur1."
                                      << "/d/cur1.xml";
        QTest::newRow("hidden with extension") << "XML (*.xml)"
                                               << "/d/.cur1.xml"
                                               << "/d/.cur1.xml";
        QTest::newRow("no pattern") << "All files (*)"
                                    << "/d/cur1"
                                    << "/d/cur1";
    }
    void filesToSaveGetTheFiltersExtension() {
        QFETCH(QString, filter);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(withDefaultSuffix(path, defaultSuffix(filter)), expected);
        // The same through the dialog function; a file to open is never renamed.
        const FileDialogFunction previous =
            setFileDialogFunction([path](const FileDialogRequest&) { return path; });
        QCOMPARE(askForFile({FileDialogKind::Save, nullptr, QStringLiteral("Save"), filter}), expected);
        QCOMPARE(askForFile({FileDialogKind::Open, nullptr, QStringLiteral("Open"), filter}), path);
        setFileDialogFunction(previous);
    }

    void aSaveFollowsTheChosenFilter() {
        const QString filters = QStringLiteral("LPFP Files(*.lpfp);;XML pair (*.xml)");
        QString chosen = QStringLiteral("XML pair (*.xml)");
        const FileDialogFunction previous =
            setFileDialogFunction([&chosen](const FileDialogRequest& request) {
                if (request.chosenFilter != nullptr) {
                    *request.chosenFilter = chosen;
                }
                return QStringLiteral("/d/pair");
            });
        QString told;
        QCOMPARE(askForFile({FileDialogKind::Save, nullptr, QStringLiteral("Save"), filters, &told}),
                 QStringLiteral("/d/pair.xml"));
        QCOMPARE(told, QStringLiteral("XML pair (*.xml)"));
        // Nothing chosen, or something not in the list: the first filter.
        chosen.clear();
        QCOMPARE(askForFile({FileDialogKind::Save, nullptr, QStringLiteral("Save"), filters, &told}),
                 QStringLiteral("/d/pair.lpfp"));
        QCOMPARE(told, QStringLiteral("LPFP Files(*.lpfp)"));
        chosen = QStringLiteral("Other (*.txt)");
        QCOMPARE(askForFile({FileDialogKind::Save, nullptr, QStringLiteral("Save"), filters}),
                 QStringLiteral("/d/pair.lpfp"));
        setFileDialogFunction(previous);
    }

    void longBoxTextsAreCappedWithTheRestCounted() {
        QStringList lines;
        for (int i = 0; i < 158; ++i) {
            lines << QStringLiteral("line %1").arg(i);
        }
        const QString text = lines.join(QLatin1Char('\n'));
        const BoxText capped = cappedBoxText(text);
        const QStringList shown = capped.shown.split(QLatin1Char('\n'));
        QCOMPARE(shown.size(), MAX_BOX_LINES);
        QCOMPARE(shown.first(), QStringLiteral("line 0"));
        QCOMPARE(shown[MAX_BOX_LINES - 2], QStringLiteral("line %1").arg(MAX_BOX_LINES - 2));
        QCOMPARE(shown.last(), QStringLiteral("and %1 more").arg(158 - (MAX_BOX_LINES - 1)));
        QCOMPARE(capped.full, text);
        // At the limit nothing is cut.
        const QString exact = lines.mid(0, MAX_BOX_LINES).join(QLatin1Char('\n'));
        QCOMPARE(cappedBoxText(exact).shown, exact);
        QVERIFY(cappedBoxText(exact).full.isEmpty());
        QCOMPARE(cappedBoxText(QString()).shown, QString());
    }

    void deviceListFailuresSayWhatTheStatusMeans() {
        QCOMPARE(
            deviceListFailureReason(QStringLiteral("Error: FT_CreateDeviceInfoList(...):  Status: 4"), {}),
            QStringLiteral("The system could not be asked for its serial ports."));
        QCOMPARE(deviceListFailureReason(QStringLiteral("Error: FT_CreateDeviceInfoList(...):  Status: 6"),
                                         {QStringLiteral("VARKO5_SIMULATOR: unknown key 'x'")}),
                 QStringLiteral("The device settings could not be read.\nVARKO5_SIMULATOR: unknown key 'x'"));
        QCOMPARE(
            deviceListFailureReason(QStringLiteral("Error: FT_CreateDeviceInfoList(...):  Status: 99"), {}),
            QStringLiteral("The driver could not list the bridges."));
        QCOMPARE(deviceListFailureReason(QStringLiteral("something else"), {}), QString());
    }

    void linesCarryTheTimeOfDay() {
        QCOMPARE(stampedText(QTime(9, 5, 7), QStringLiteral("Getting Default MC Configuration")),
                 QStringLiteral("09:05:07  Getting Default MC Configuration"));
        QVERIFY(noDeviceHintText().contains(QStringLiteral("Devices > Rescan")));
    }
};

QTEST_GUILESS_MAIN(TextsTest)

#include "texts_test.moc"
