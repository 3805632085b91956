// The desktop's production record (VARKO5_RECORD): the status bar says where it records; each
// update, read and parameter apply of a panel leaves one complete entry; a record that cannot
// be written means nothing is sent or read; History lists the controller's entries, and
// "Save as LPFP" writes what lpfp_cli --history-export writes, leaving an existing file alone
// when it cannot.

#include "core/config/config_compare.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/recording.h"
#include "loader/history_dialog.h"
#include "loader/mainwindow.h"
#include "loader/parameter_model.h"
#include "loader/parameter_view.h"
#include "loader/varko5configwidget.h"
#include "simulator/simulator.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/cli_process.h"
#include "tests/support/postgres_server.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <filesystem>
#include <memory>

namespace {

const char* const SERIAL = "VK5SIM0001";

std::vector<RecordEntry> entriesIn(const std::string& database) {
    RecordStore store(parseDestination(database), true);
    return store.history({});
}

std::size_t filesIn(const std::filesystem::path& folder) {
    if (!std::filesystem::is_directory(folder)) {
        return 0;
    }
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

QString recordingText(const MainWindow& window) {
    const auto* label = window.findChild<QLabel*>(QStringLiteral("recordingLabel"));
    return label != nullptr ? label->text() : QString();
}

} // namespace

class RecordTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoaderFixture> fixture_;

    std::string file(const char* name) const { return fixture_->dir.file(name); }
    std::filesystem::path backupFolder() const {
        return fixture_->dir.path() / "data" / "varko5" / "backups";
    }

    QByteArray scenario() const {
        return "devices=1;state=" + QByteArray::fromStdString(file("device.state"));
    }

    DeviceRecords recordsNow() const {
        const SimBackend sim(scenario().toStdString());
        return readDeviceRecords(*sim);
    }

    // An LPFP file that changes both records from what the simulated controller holds.
    std::string changedLpfp() const {
        LpfpConfiguration pair{simulatorDefaultAppConfig(), simulatorDefaultMcConfig()};
        pair.app.controller_id = 9;
        pair.mc.l_current_max = 41.5f;
        const std::string path = file("line.lpfp");
        writeLpfpFile(pair, path);
        return path;
    }

    bool updateLpfp(varko5ConfigWidget* panel, const std::string& path) {
        lineEdit(panel, "lpfpConfigFile_LineEdit")->setText(QString::fromStdString(path));
        button(panel, "updateLPFP")->setEnabled(true);
        return clickAndWait(panel, "updateLPFP");
    }

    static HistoryDialog* openHistory(varko5ConfigWidget* panel) {
        QPushButton* history = button(panel, "history_PushButton");
        if (history == nullptr || !history->isEnabled()) {
            return nullptr;
        }
        history->click();
        HistoryDialog* dialog = panel->historyDialog();
        if (dialog == nullptr) {
            return nullptr;
        }
        QSignalSpy loaded(dialog, &HistoryDialog::loaded);
        if (loaded.isEmpty() && !loaded.wait(10000)) {
            return nullptr;
        }
        return loaded.first().first().toBool() ? dialog : nullptr;
    }

    static bool saveAndWait(HistoryDialog* dialog, int row, const QString& path) {
        QSignalSpy saved(dialog, &HistoryDialog::saved);
        dialog->saveRow(row, path);
        if (saved.isEmpty() && !saved.wait(10000)) {
            return false;
        }
        return saved.first().first().toBool();
    }

private slots:
    void init() {
        fixture_ = std::make_unique<LoaderFixture>();
        simulatorForgetRecords();
    }
    void cleanup() { fixture_.reset(); }

    void withoutTheVariableNothingIsRecorded() {
        const SimBackend sim(scenario().toStdString());
        const ScopedEnv record("VARKO5_RECORD", std::nullopt);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        QCOMPARE(recordingText(window), QStringLiteral("Not recording (VARKO5_RECORD is not set)"));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        QVERIFY(!button(panel, "history_PushButton")->isEnabled());
        QVERIFY(updateLpfp(panel, changedLpfp()));
        QCOMPARE(fixture_->boxes.boxes().back().title, QStringLiteral("SUCCESS"));
    }

    // An update, a read and a parameter apply: one complete entry each, with what the
    // controller was sent and gave back, and the History of the panel lists them.
    void panelOperationsLeaveCompleteEntries() {
        const std::string database = file("records.db");
        const std::string lpfp = changedLpfp();
        {
            const SimBackend sim(scenario().toStdString());
            const ScopedEnv record("VARKO5_RECORD", QByteArray::fromStdString(database));
            const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
            MainWindow window(sim);
            QVERIFY(waitIdle(window));
            QCOMPARE(recordingText(window),
                     QStringLiteral("Recording to: ") + QString::fromStdString(database));
            varko5ConfigWidget* panel = panelAt(window, 0);
            QVERIFY(panel != nullptr);

            QVERIFY(updateLpfp(panel, lpfp));
            QCOMPARE(fixture_->boxes.boxes().back().title, QStringLiteral("SUCCESS"));

            fixture_->files.answer(file("current.lpfp"));
            QVERIFY(clickAndWait(panel, "getLpfp"));
            QCOMPARE(fixture_->boxes.boxes().back().title, QStringLiteral("SUCCESS"));
            fixture_->files.answer(file("motor.xml"));
            QVERIFY(clickAndWait(panel, "defaultMC"));
            QCOMPARE(fixture_->boxes.boxes().back().title, QStringLiteral("SUCCESS"));

            QVERIFY(button(panel, "parameters_PushButton")->isEnabled());
            button(panel, "parameters_PushButton")->click();
            ParameterView* view = panel->parameterView();
            QVERIFY(view != nullptr);
            QSignalSpy loaded(view, &ParameterView::loaded);
            QVERIFY(!loaded.isEmpty() || loaded.wait(10000));
            ParameterModel* model = view->model();
            const QModelIndex timeout = model->indexOf(RecordKind::App, QStringLiteral("timeout_msec"),
                                                       ParameterModel::CurrentColumn);
            QVERIFY(timeout.isValid());
            QVERIFY(model->setData(timeout, QStringLiteral("4321")));
            QSignalSpy applied(view, &ParameterView::applied);
            view->findChild<QPushButton*>(QStringLiteral("applyButton"))->click();
            QVERIFY(!applied.isEmpty() || applied.wait(10000));
            QVERIFY(applied.first().first().toBool());
            view->close();
            QVERIFY(waitIdle(panel));
        }

        const DeviceRecords after = recordsNow();
        const std::vector<RecordEntry> entries = entriesIn(database);
        QCOMPARE(entries.size(), std::size_t{4});
        for (const RecordEntry& entry : entries) {
            QCOMPARE(entry.program, std::string("lpfp_loader"));
            QCOMPARE(entry.serial, std::string(SERIAL));
            QCOMPARE(entry.firmware, std::string("5.2"));
            QVERIFY(!entry.finishedAt.empty());
            QVERIFY(!entry.station.empty());
            QVERIFY(!entry.operatorName.empty());
        }

        const RecordEntry& update = entries[0];
        QCOMPARE(update.operation, std::string(operation_word::APPLY_LPFP));
        QCOMPARE(update.outcome, std::string(outcome_word::VERIFIED));
        QCOMPARE(update.reason, std::string());
        QCOMPARE(update.inputs.size(), std::size_t{1});
        QCOMPARE(update.inputs[0].fileName, lpfp);
        QCOMPARE(update.inputs[0].sha256, stampInput(lpfp, readFileBytes(lpfp)).sha256);
        QCOMPARE(filesIn(backupFolder()), std::size_t{2}); // the update's and the apply's
        QVERIFY(std::filesystem::exists(update.backupPath));
        QCOMPARE(update.records.size(), std::size_t{2});
        for (const RecordedRecord& record : update.records) {
            QCOMPARE(record.outcome, std::string(outcome_word::VERIFIED));
            QVERIFY(!record.sentHex.empty());
            QCOMPARE(record.readBackHex, record.sentHex);
        }
        LpfpConfiguration sent = entryConfiguration(update);
        QCOMPARE(sent.app.controller_id, 9);
        QVERIFY(mcConfigEquals(sent.mc, after.mc));

        const RecordEntry& read = entries[1];
        QCOMPARE(read.operation, std::string(operation_word::SAVE_CURRENT));
        QCOMPARE(read.outcome, std::string(outcome_word::READ));
        QCOMPARE(read.outputPath, file("current.lpfp"));
        QCOMPARE(read.records.size(), std::size_t{2});
        LpfpConfiguration saved;
        std::uint64_t keys = 0;
        QVERIFY(readLpfpFile(saved, file("current.lpfp"), keys));
        const LpfpConfiguration readPair = entryConfiguration(read);
        QVERIFY(appConfigEquals(readPair.app, saved.app));
        QVERIFY(mcConfigEquals(readPair.mc, saved.mc));

        const RecordEntry& defaults = entries[2];
        QCOMPARE(defaults.operation, std::string(operation_word::SAVE_DEFAULTS));
        QCOMPARE(defaults.outcome, std::string(outcome_word::READ));
        QCOMPARE(defaults.records.size(), std::size_t{1});
        QCOMPARE(defaults.records[0].record, std::string(record_word::MC));

        const RecordEntry& parameters = entries[3];
        QCOMPARE(parameters.operation, std::string(operation_word::APPLY_PARAMETERS));
        QCOMPARE(parameters.outcome, std::string(outcome_word::VERIFIED));
        QVERIFY(parameters.inputs.empty());
        QCOMPARE(parameters.records.size(), std::size_t{1});
        QCOMPARE(parameters.records[0].record, std::string(record_word::APP));
        QCOMPARE(after.app.timeout_msec, 4321u);
    }

    // A record that cannot be opened or written: the update, the read and the parameter apply
    // send and read nothing, take no backup, and say why.
    void unwritableRecordMeansNothingIsSent_data() {
        QTest::addColumn<QByteArray>("destination");
        QTest::addColumn<QString>("status");
        QTest::newRow("not a database")
            << QByteArray("not-a-database.db") << QStringLiteral("Recording to: ");
        QTest::newRow("missing folder")
            << QByteArray("missing/records.db") << QStringLiteral("Recording to: ");
        QTest::newRow("other scheme")
            << QByteArray("mysql://line/records") << QStringLiteral("Cannot record: ");
    }
    void unwritableRecordMeansNothingIsSent() {
        QFETCH(QByteArray, destination);
        QFETCH(QString, status);
        writeFileBytes(file("not-a-database.db"), std::string(4096, 'x'));
        const QByteArray path = destination.contains("://")
                                    ? destination
                                    : QByteArray::fromStdString(file(destination.constData()));
        const std::string lpfp = changedLpfp();
        const DeviceRecords before = recordsNow();
        {
            const SimBackend sim(scenario().toStdString());
            const ScopedEnv record("VARKO5_RECORD", path);
            MainWindow window(sim);
            QVERIFY(waitIdle(window));
            QVERIFY2(recordingText(window).startsWith(status), qPrintable(recordingText(window)));
            varko5ConfigWidget* panel = panelAt(window, 0);
            QVERIFY(panel != nullptr);

            QVERIFY(updateLpfp(panel, lpfp));
            const ShownBox update = fixture_->boxes.boxes().back();
            QCOMPARE(update.icon, QMessageBox::Critical);
            QVERIFY2(update.text.startsWith(QStringLiteral("Nothing was sent to the controller: ")),
                     qPrintable(update.text));
            QVERIFY(panel->progressLog()->toPlainText().isEmpty());

            fixture_->files.answer(file("current.lpfp"));
            QVERIFY(clickAndWait(panel, "getLpfp"));
            const ShownBox read = fixture_->boxes.boxes().back();
            QCOMPARE(read.icon, QMessageBox::Critical);
            QVERIFY2(read.text.startsWith(QStringLiteral("Failed at retrieving LPFP Configuration\n"
                                                         "Nothing was read from the controller: ")),
                     qPrintable(read.text));
            QVERIFY(!std::filesystem::exists(file("current.lpfp")));

            button(panel, "parameters_PushButton")->click();
            ParameterView* view = panel->parameterView();
            QVERIFY(view != nullptr);
            QSignalSpy loaded(view, &ParameterView::loaded);
            QVERIFY(!loaded.isEmpty() || loaded.wait(10000));
            ParameterModel* model = view->model();
            QVERIFY(model->setData(model->indexOf(RecordKind::App, QStringLiteral("timeout_msec"),
                                                  ParameterModel::CurrentColumn),
                                   QStringLiteral("4321")));
            QSignalSpy applied(view, &ParameterView::applied);
            view->findChild<QPushButton*>(QStringLiteral("applyButton"))->click();
            QVERIFY(!applied.isEmpty() || applied.wait(10000));
            QVERIFY(!applied.first().first().toBool());
            QVERIFY2(fixture_->boxes.boxes().back().text.contains(
                         QStringLiteral("Nothing was sent to the controller: ")),
                     qPrintable(fixture_->boxes.boxes().back().text));
            view->close();
            QVERIFY(waitIdle(panel));
        }
        const DeviceRecords after = recordsNow();
        QVERIFY(appConfigEquals(after.app, before.app));
        QVERIFY(mcConfigEquals(after.mc, before.mc));
        QCOMPARE(filesIn(backupFolder()), std::size_t{0});
        // The file that is not a database is left as it was.
        QCOMPARE(readFileBytes(file("not-a-database.db")), std::string(4096, 'x'));
    }

    // A line of stations shares one PostgreSQL record: the panel's update and its History
    // reach a server the test starts itself.
    void panelRecordsOnAPostgresServer() {
#ifndef VARKO5_WITH_POSTGRES
        QSKIP("built without PostgreSQL");
#else
        if (PostgresServer::binDir().empty()) {
            QSKIP("SKIPPED LOUDLY: the PostgreSQL server programs are not installed; run "
                  "scripts/install-deps.sh");
        }
        PostgresServer server;
        const std::string uri = server.createDatabase("line");
        const std::string lpfp = changedLpfp();
        const SimBackend sim(scenario().toStdString());
        const ScopedEnv record("VARKO5_RECORD", QByteArray::fromStdString(uri));
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        QVERIFY(recordingText(window).startsWith(QStringLiteral("Recording to: postgresql://")));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        QVERIFY(updateLpfp(panel, lpfp));
        QCOMPARE(fixture_->boxes.boxes().back().title, QStringLiteral("SUCCESS"));

        const std::vector<RecordEntry> entries = entriesIn(uri);
        QCOMPARE(entries.size(), std::size_t{1});
        QCOMPARE(entries[0].program, std::string("lpfp_loader"));
        QCOMPARE(entries[0].operation, std::string(operation_word::APPLY_LPFP));
        QCOMPARE(entries[0].outcome, std::string(outcome_word::VERIFIED));
        QCOMPARE(entries[0].records.size(), std::size_t{2});

        HistoryDialog* dialog = openHistory(panel);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->table()->rowCount(), 1);
        QCOMPARE(dialog->table()->item(0, 3)->text(), QStringLiteral("verified"));
#endif
    }

    // History lists the panel's entries; "Save as LPFP" writes the bytes --history-export
    // writes, and an entry that cannot be exported leaves the file in place untouched.
    void historyListsEntriesAndSavesThemAsLpfp() {
        const std::string database = file("records.db");
        const std::string lpfp = changedLpfp();
        const SimBackend sim(scenario().toStdString());
        const ScopedEnv record("VARKO5_RECORD", QByteArray::fromStdString(database));
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        // Another controller's entry, which this panel's History leaves out.
        {
            const auto other = openRecording(database, "lpfp_cli", "test");
            RecordEntry entry;
            entry.startedAt = "2026-01-01T00:00:00.000Z";
            entry.serial = "VK5-OTHER";
            entry.operation = operation_word::TEST;
            other->store->begin(entry);
        }
        QVERIFY(updateLpfp(panel, lpfp));
        fixture_->files.answer(file("motor.xml"));
        QVERIFY(clickAndWait(panel, "getMC"));

        HistoryDialog* dialog = openHistory(panel);
        QVERIFY(dialog != nullptr);
        QTableWidget* table = dialog->table();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("2"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("apply-lpfp"));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("verified"));
        QCOMPARE(table->item(0, 5)->text(), QString::fromStdString(lpfp));
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("save-current"));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("read"));
        QVERIFY(table->item(0, 4)->text().contains(QStringLiteral(" / ")));
        QCOMPARE(dialog->statusText(), QStringLiteral("2 entries in ") + QString::fromStdString(database));
        table->selectRow(0);
        QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("historyDetails"))
                    ->text()
                    .contains(QString::fromStdString(stampInput(lpfp, readFileBytes(lpfp)).sha256)));

        // The same file as the console tool's export.
        fixture_->files.answer(file("saved.lpfp"));
        dialog->findChild<QPushButton*>(QStringLiteral("saveAsLpfp_PushButton"))->click();
        QSignalSpy saved(dialog, &HistoryDialog::saved);
        QVERIFY(saved.wait(10000));
        QVERIFY(saved.first().first().toBool());
        const CliResult exported =
            runCli({"--history-export", "2", "-o", file("exported.lpfp"), "--record", database}, {});
        QCOMPARE(exported.status, 0);
        QCOMPARE(readFileBytes(file("saved.lpfp")), readFileBytes(file("exported.lpfp")));
        LpfpConfiguration pair;
        std::uint64_t keys = 0;
        QVERIFY(readLpfpFile(pair, file("saved.lpfp"), keys));
        QCOMPARE(pair.app.controller_id, 9);

        // The motor record alone is not an LPFP file: refused, the existing file untouched.
        const std::string before = readFileBytes(file("saved.lpfp"));
        QVERIFY(!saveAndWait(dialog, 1, QString::fromStdString(file("saved.lpfp"))));
        QVERIFY2(fixture_->boxes.boxes().back().text.contains(QStringLiteral("does not hold both records")),
                 qPrintable(fixture_->boxes.boxes().back().text));
        QCOMPARE(readFileBytes(file("saved.lpfp")), before);

        // Refresh finds what was done since.
        QVERIFY(updateLpfp(panel, lpfp));
        QSignalSpy loaded(dialog, &HistoryDialog::loaded);
        dialog->findChild<QPushButton*>(QStringLiteral("refresh_PushButton"))->click();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(table->rowCount(), 3);
    }
};

QTEST_MAIN(RecordTest)
#include "record_test.moc"
