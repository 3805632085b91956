// What the panels say, as functions of what the operations reported: the reasons of a failed
// update (at most ten differing fields), whether a backup stopped it, why a panel cannot be
// used, the device's name, and the extension a file to save gets.

#include "loader/file_dialogs.h"
#include "loader/panel_texts.h"

#include <QtTest>

#include <tuple>

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

OpEvent stepEvent(OpStep step, RecordKind record = RecordKind::None, const char* text = "",
                  std::uint64_t keys = 0) {
    OpEvent made;
    made.step = step;
    made.record = record;
    made.text = text;
    made.keys = keys;
    return made;
}

// A step's lines as "progress: text" (the progress log only), "info: text" (the log only) or
// "progress, warning: text" (both).
QStringList told(UpdateKind update, const OpEvent& event) {
    QStringList lines;
    for (const StepLine& line : updateStepLines(update, event)) {
        QStringList where;
        if (line.progress) {
            where << QStringLiteral("progress");
        }
        if (line.level != spdlog::level::off) {
            where << QString::fromLatin1(spdlog::level::to_string_view(line.level).data());
        }
        lines << where.join(QStringLiteral(", ")) + QStringLiteral(": ") + line.text;
    }
    return lines;
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
        QCOMPARE(applyResultDetail(result), expected);
    }

    void eachFailedRecordSaysWhatBecameOfIt() {
        ApplyResult result;
        QCOMPARE(applyResultDetail(result), QString());

        // Refused application record, motor record whose exchange timed out and ended the apply.
        result.app.requested = true;
        result.app.sent = true;
        result.mc.requested = true;
        result.mc.sent = true;
        result.mc.error = TIMED_OUT_TEXT;
        result.error = TIMED_OUT_TEXT;
        QCOMPARE(applyResultDetail(result),
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
        QCOMPARE(applyResultDetail(midway),
                 QStringLiteral("MC Configuration: not sent\nReply from controller is not a valid packet"));

        // Nothing sent at all: the reason alone.
        ApplyResult early;
        early.app.requested = true;
        early.mc.requested = true;
        early.error = "/tmp/x.lpfp: Invalid Configuration File";
        QCOMPARE(applyResultDetail(early), QStringLiteral("/tmp/x.lpfp: Invalid Configuration File"));

        // A record that was not asked for is not mentioned.
        ApplyResult mcOnly;
        mcOnly.mc = differingOutcome(1);
        mcOnly.mc.differences.clear();
        QCOMPARE(applyResultDetail(mcOnly),
                 QStringLiteral("MC Configuration: the read-back copy differs from the record sent"));

        ApplyResult backup = early;
        backup.error = "Cannot create backup folder /x";
        QCOMPARE(applyResultDetail(backup, true),
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

    // Each step of each update, in that update's words: where each line goes (the progress log,
    // the log at a level) and what it says.
    void eachUpdateTellsItsStepsInItsOwnWords_data() {
        QTest::addColumn<int>("update");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const int mc = static_cast<int>(UpdateKind::Mc);
        const int app = static_cast<int>(UpdateKind::App);
        const int lpfp = static_cast<int>(UpdateKind::Lpfp);
        const int M = static_cast<int>(RecordKind::Mc);
        const int A = static_cast<int>(RecordKind::App);
        const int N = static_cast<int>(RecordKind::None);
        auto row = [](const QByteArray& name, int update, OpStep step, int record, const char* text,
                      const QStringList& expected) {
            QTest::newRow(name.constData())
                << update << static_cast<int>(step) << record << QString::fromLatin1(text) << expected;
        };
        const QString unreadable =
            QStringLiteral("The controller's answer to the %1 Configuration could not be "
                           "read (bad CRC); reading it back decides whether it was stored");
        const std::tuple<const char*, int, int> updates[] = {
            {"mc", mc, M}, {"app", app, A}, {"lpfp", lpfp, A}};
        for (const auto& [name, update, record] : updates) {
            const QByteArray prefix = QByteArray(name) + " ";
            row(prefix + "backup saved", update, OpStep::BackupSaved, N, "/b/VK5.lpfp",
                {QStringLiteral("progress: Backup saved to: /b/VK5.lpfp")});
            row(prefix + "backup failed", update, OpStep::BackupFailed, N, "no room",
                {QStringLiteral("progress, error: Backup failed, nothing was sent: no room")});
            row(prefix + "answer unreadable", update, OpStep::AnswerUnreadable, record, "bad CRC",
                {QStringLiteral("progress, warning: ") + unreadable.arg(record == M ? "MC" : "APP")});
            row(prefix + "interrupted", update, OpStep::Interrupted, N, "", {});
        }
        row("mc defaults", mc, OpStep::GettingDefaults, M, "",
            {"progress: Getting Default MC Configuration"});
        row("mc file read", mc, OpStep::FileRead, M, "m.xml",
            {"info: Configuration updated from XML file m.xml. 5 parameters set"});
        row("mc refused", mc, OpStep::Refused, M, "", {"error: Failed to set MCConfig"});
        row("mc not acknowledged", mc, OpStep::NotAcknowledged, M, "0x15",
            {"progress: MC Configuration was not acknowledged by the bridge (0x15)",
             "error: Failed to set MCConfig"});
        row("mc sent", mc, OpStep::Sent, M, "", {"info: Configuration sent to device"});
        row("mc read back", mc, OpStep::GettingReadBack, M, "", {"info: Getting MC Configuration"});
        row("mc validating", mc, OpStep::Validating, M, "", {"progress: Validating Updated MC"});
        row("mc validated", mc, OpStep::Validated, M, "", {"progress: MC Configuration Validated"});
        row("mc differs", mc, OpStep::Differs, M, "", {"error: MC Configuration validation FAILED 123"});
        row("mc failed", mc, OpStep::Failed, M, "damaged", {});

        row("app defaults", app, OpStep::GettingDefaults, A, "",
            {"progress: Getting Default APP Configuration"});
        row("app file read", app, OpStep::FileRead, A, "a.xml",
            {"progress: Configuration updated from XML file a.xml. 5 parameters set"});
        row("app refused", app, OpStep::Refused, A, "", {});
        row("app not acknowledged", app, OpStep::NotAcknowledged, A, "0x15",
            {"progress: APP Configuration was not acknowledged by the bridge (0x15)"});
        row("app sent", app, OpStep::Sent, A, "", {"progress: Configuration sent to device"});
        row("app read back", app, OpStep::GettingReadBack, A, "", {"progress: Getting APP Configuration"});
        row("app validating", app, OpStep::Validating, A, "", {"progress: Validating Updated APP"});
        row("app validated", app, OpStep::Validated, A, "", {"progress: APP Configuration Validated"});
        row("app differs", app, OpStep::Differs, A, "", {"error: App Configuration validation FAILED"});

        row("lpfp app defaults", lpfp, OpStep::GettingDefaults, A, "",
            {"progress: Getting Default APP Configuration"});
        row("lpfp mc defaults", lpfp, OpStep::GettingDefaults, M, "", {});
        row("lpfp file read", lpfp, OpStep::FileRead, N, "c.lpfp",
            {"progress: Configuration updated from LPFP file c.lpfp. 5 parameters set"});
        row("lpfp refused", lpfp, OpStep::Refused, M, "", {});
        row("lpfp sent", lpfp, OpStep::Sent, M, "", {"progress: Configuration sent to device"});
        row("lpfp mc read back", lpfp, OpStep::GettingReadBack, M, "",
            {"progress: Getting MC Configuration"});
        row("lpfp app validating", lpfp, OpStep::Validating, A, "", {"progress: Validating Updated APP"});
        row("lpfp mc validating", lpfp, OpStep::Validating, M, "", {});
        row("lpfp mc validated", lpfp, OpStep::Validated, M, "", {"progress: MC Configuration Validated"});
        row("lpfp app differs", lpfp, OpStep::Differs, A, "", {"error: App Configuration validation FAILED"});
        row("lpfp mc differs", lpfp, OpStep::Differs, M, "", {"error: MC Configuration validation FAILED"});
        row("lpfp record failed", lpfp, OpStep::Failed, M, "damaged", {"error: damaged"});
        row("lpfp record timed out", lpfp, OpStep::Failed, M, TIMED_OUT_TEXT, {});
        row("lpfp failed outside a record", lpfp, OpStep::Failed, N, "damaged", {});

        // The parameter view: every step on its status line, nothing logged.
        const int view = static_cast<int>(UpdateKind::Parameters);
        row("view backup saved", view, OpStep::BackupSaved, N, "/b/VK5.lpfp",
            {"progress: Backup saved to: /b/VK5.lpfp"});
        row("view backup failed", view, OpStep::BackupFailed, N, "no room",
            {"progress: The backup could not be saved: no room"});
        row("view defaults", view, OpStep::GettingDefaults, M, "", {});
        row("view refused", view, OpStep::Refused, A, "",
            {"progress: APPConfiguration refused by the controller"});
        row("view not acknowledged", view, OpStep::NotAcknowledged, M, "0x15",
            {"progress: MCConfiguration not acknowledged by the bridge (0x15)"});
        row("view answer unreadable", view, OpStep::AnswerUnreadable, M, "bad CRC",
            {"progress: The controller's answer to MCConfiguration could not be read (bad CRC); reading it "
             "back"});
        row("view interrupted", view, OpStep::Interrupted, N, "", {"progress: Interrupted"});
        row("view sent", view, OpStep::Sent, M, "", {"progress: MCConfiguration sent"});
        row("view read back", view, OpStep::GettingReadBack, A, "",
            {"progress: Reading APPConfiguration back"});
        row("view validating", view, OpStep::Validating, A, "", {"progress: Validating APPConfiguration"});
        row("view validated", view, OpStep::Validated, M, "", {"progress: MCConfiguration validated"});
        row("view differs", view, OpStep::Differs, M, "",
            {"progress: MCConfiguration differs after the write"});
        row("view failed", view, OpStep::Failed, N, "damaged", {"progress: damaged"});
    }
    void eachUpdateTellsItsStepsInItsOwnWords() {
        QFETCH(int, update);
        QFETCH(int, step);
        QFETCH(int, record);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        const QByteArray utf8 = text.toUtf8();
        QCOMPARE(
            told(static_cast<UpdateKind>(update),
                 stepEvent(static_cast<OpStep>(step), static_cast<RecordKind>(record), utf8.constData(), 5)),
            expected);
    }

    // An update that is ok has nothing to add unless a record was verified although the
    // controller's answer to its set could not be read.
    void aVerifiedRecordWhoseAnswerWasUnreadableIsNamed() {
        ApplyResult result;
        result.app.requested = result.app.sent = result.app.verified = true;
        result.app.answer = SetReply{SetAnswer::Accepted, {}};
        result.backup = std::filesystem::path("/b/VK5.lpfp");
        QCOMPARE(applyResultDetail(result), QString());
        result.mc = result.app;
        result.mc.answer = SetReply{SetAnswer::Unreadable, "too short"};
        QCOMPARE(
            applyResultDetail(result),
            QStringLiteral("MC Configuration: the controller's answer could not be read (too short); the "
                           "read-back copy is equal, so the controller holds the record"));
        // With the backup where a text carries it.
        QCOMPARE(resultLineTexts(describeApply(result), true).first(),
                 QStringLiteral("Backup saved to: /b/VK5.lpfp"));
    }

    // The remaining failures of a record, each in its line.
    void notAcknowledgedAndUnreadableFailuresAreNamed() {
        ApplyResult result;
        result.app.requested = result.app.sent = true;
        result.app.answer = SetReply{SetAnswer::NotAcknowledged, "0x00 0x15 0x00"};
        result.mc.requested = result.mc.sent = true;
        result.mc.answer = SetReply{SetAnswer::Unreadable, "too short"};
        QCOMPARE(applyResultDetail(result),
                 QStringLiteral("APP Configuration: not acknowledged by the bridge (0x00 0x15 0x00), the "
                                "controller never got it\n"
                                "MC Configuration: the controller's answer could not be read (too short)\n"
                                "MC Configuration: the read-back copy differs from the record sent"));
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
