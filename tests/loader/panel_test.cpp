// The device panel against the simulated controller: which rows each mode shows, the
// identity rows and the firmware gate, the Browse checks, and the files that Current and
// Default write.

#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"
#include "loader/mainwindow.h"
#include "loader/varko5configwidget.h"
#include "simulator/backend.h"
#include "simulator/simulator.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

const char* const MOTOR_ROW[] = {"MCConfigurationLabel",
                                 "motorConfigFile_LineEdit",
                                 "browseMotorConfig_PushButton",
                                 "updateMC",
                                 "getMC",
                                 "defaultMC"};
const char* const APP_ROW[] = {"APPConfigurationLabel",
                               "appConfigFile_LineEdit",
                               "browseAppConfig_PushButton",
                               "updateAPP",
                               "getApp",
                               "defaultApp"};
const char* const LPFP_ROW[] = {"lPFPConfigurationLabel",
                                "lpfpConfigFile_LineEdit",
                                "browseLPFPConfig_PushButton",
                                "updateLPFP",
                                "getLpfp",
                                "defaultLPFP"};
const char* const IDENTITY_ROWS[] = {"descriptionLabel", "descriptionLineEdit", "chipIDLabel",
                                     "chipIDLineEdit",   "versionLabel",        "versionLineEdit"};

QWidget* control(const QWidget* panel, const char* name) {
    return panel->findChild<QWidget*>(QString::fromLatin1(name));
}

std::vector<const char*> configurationControls() {
    std::vector<const char*> names;
    for (const auto* row : {MOTOR_ROW, APP_ROW, LPFP_ROW}) {
        names.insert(names.end(), row, row + 6);
    }
    return names;
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// The simulated bridges of a scenario, except that one of them is held by another program.
class PortInUseBackend : public DeviceBackend {
public:
    PortInUseBackend(const std::string& scenario, std::string busySerial)
        : inner_(makeSimulatedBackend(scenario)), busySerial_(std::move(busySerial)) {}
    std::string name() const override { return "busy"; }
    DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) override {
        return inner_->listDevices(nodes);
    }
    OpenResult open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) override {
        return serialNumberOf(node) == busySerial_ ? OpenResult{STATUS_DEVICE_IN_USE, {}}
                                                   : inner_->open(node, port);
    }

private:
    std::shared_ptr<DeviceBackend> inner_;
    std::string busySerial_;
};

} // namespace

class PanelTest : public QObject {
    Q_OBJECT

private:
    // Boxes caught, file dialogs answered, a scratch folder that is also where backups go, and
    // the log (the byte-level trace of the advanced mode included) kept off the console.
    std::unique_ptr<LoaderFixture> fixture_;
    MessageBoxCatcher* boxes_ = nullptr;
    FileAnswers* files_ = nullptr;
    TempDir* dir_ = nullptr;

    void checkOnlyBox(QMessageBox::Icon icon, const char* title, const QString& text, QWidget* parent) {
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        const ShownBox& box = boxes_->boxes()[0];
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.title, QString::fromLatin1(title));
        QCOMPARE(box.text, text);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.parent, parent);
    }

    // The disabled panel shows its reason in itself, and every configuration control is off.
    void checkReason(const varko5ConfigWidget* panel, const char* reason) {
        checkReason(panel, QString::fromLatin1(reason));
    }

    void checkReason(const varko5ConfigWidget* panel, const QString& reason) {
        QCOMPARE(panel->unavailableReason(), reason);
        auto* label = panel->findChild<QLabel*>(QStringLiteral("statusLabel"));
        QVERIFY(label != nullptr);
        QVERIFY(label->isVisibleTo(panel));
        QCOMPARE(label->text(), reason);
        for (const char* name : configurationControls()) {
            QVERIFY2(!control(panel, name)->isEnabled(), name);
        }
    }

    void checkRequest(FileDialogKind kind, const char* caption, const char* filter, QWidget* parent) {
        QCOMPARE(files_->requests().size(), std::size_t{1});
        const FileDialogRequest& request = files_->requests()[0];
        QCOMPARE(request.kind, kind);
        QCOMPARE(request.caption, QString::fromLatin1(caption));
        QCOMPARE(request.filter, QString::fromLatin1(filter));
        QCOMPARE(request.parent, parent);
    }

private slots:
    void init() {
        fixture_ = std::make_unique<LoaderFixture>();
        boxes_ = &fixture_->boxes;
        files_ = &fixture_->files;
        dir_ = &fixture_->dir;
    }
    void cleanup() { fixture_.reset(); }

    void slotsAreInTableOrder() {
        const QMetaObject& meta = varko5ConfigWidget::staticMetaObject;
        QStringList slotNames;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Slot) {
                slotNames << QString::fromLatin1(meta.method(i).name());
            }
        }
        QCOMPARE(
            slotNames,
            (QStringList{"on_browseMotorConfig_PushButton_clicked", "on_browseAppConfig_PushButton_clicked",
                         "on_browseLPFPConfig_PushButton_clicked", "on_getMC_clicked", "on_getApp_clicked",
                         "on_getLpfp_clicked", "on_defaultMC_clicked", "on_defaultApp_clicked",
                         "on_defaultLPFP_clicked", "on_updateMC_clicked", "on_updateAPP_clicked",
                         "on_updateLPFP_clicked"}));
    }

    void basicModeShowsOnlyTheLpfpRow() {
        const SimBackend sim("devices=1");
        const ScopedEnv advanced("VARKO5_ADVANCED", std::nullopt);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        QCOMPARE(panel->objectName(), QStringLiteral("varko5ConfigWidget"));
        for (const char* name : IDENTITY_ROWS) {
            QVERIFY2(control(panel, name)->isVisibleTo(panel), name);
        }
        for (const char* name : {"serialNumberLabel", "serialNumberLineEdit", "defaultLPFP"}) {
            QVERIFY2(!control(panel, name)->isVisibleTo(panel), name);
        }
        for (const auto* row : {MOTOR_ROW, APP_ROW}) {
            for (int i = 0; i < 6; ++i) {
                QVERIFY2(!control(panel, row[i])->isVisibleTo(panel), row[i]);
            }
        }
        for (int i = 0; i < 5; ++i) {
            QVERIFY2(control(panel, LPFP_ROW[i])->isVisibleTo(panel), LPFP_ROW[i]);
        }
        // No empty log box before there is a line to show.
        QVERIFY(!panel->progressLog()->isVisibleTo(panel));
        QVERIFY(panel->progressLog()->isReadOnly());
        QCOMPARE(panel->progressLog()->objectName(), QStringLiteral("progressLog"));
        // Form texts.
        QCOMPARE(qobject_cast<QLabel*>(control(panel, "lPFPConfigurationLabel"))->text(),
                 QStringLiteral("LPFP Configuration"));
        QCOMPARE(button(panel, "browseLPFPConfig_PushButton")->text(), QStringLiteral("Browse"));
        QCOMPARE(button(panel, "updateLPFP")->text(), QStringLiteral("Update"));
        QCOMPARE(button(panel, "getLpfp")->text(), QStringLiteral("Current"));
        QCOMPARE(button(panel, "defaultLPFP")->text(), QStringLiteral("Default"));
        QVERIFY(boxes_->boxes().empty());
    }

    void advancedModeShowsEveryRowAndLogsTraceLines() {
        const SimBackend sim("devices=1");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        LogCapture log(spdlog::level::info);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        for (const char* name : configurationControls()) {
            QVERIFY2(control(panel, name)->isVisibleTo(panel), name);
        }
        QVERIFY(!control(panel, "serialNumberLineEdit")->isVisibleTo(panel));
        QCOMPARE(spdlog::default_logger()->level(), spdlog::level::trace);
        QVERIFY(!log.texts(spdlog::level::trace).empty());
        // Update buttons start disabled, the others enabled.
        for (const char* name : configurationControls()) {
            const bool isUpdate = QByteArray(name).startsWith("update");
            QCOMPARE(control(panel, name)->isEnabled(), !isUpdate);
        }
    }

    void identityRowsShowDescriptionChipIdAndVersion() {
        const SimBackend sim("devices=3;serial=S1,S2,S3;description=A,B,C;chipid=0x1A,0,0xABCDEF12");
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        const char* const chipIds[] = {"0x0000001A", "0x00000000", "0xABCDEF12"};
        const char* const serials[] = {"S1", "S2", "S3"};
        const char* const descriptions[] = {"A", "B", "C"};
        for (int i = 0; i < 3; ++i) {
            varko5ConfigWidget* panel = panelAt(window, i);
            QVERIFY(panel != nullptr);
            QCOMPARE(lineEdit(panel, "chipIDLineEdit")->text(), QString::fromLatin1(chipIds[i]));
            QCOMPARE(lineEdit(panel, "serialNumberLineEdit")->text(), QString::fromLatin1(serials[i]));
            QCOMPARE(lineEdit(panel, "descriptionLineEdit")->text(), QString::fromLatin1(descriptions[i]));
            QCOMPARE(lineEdit(panel, "versionLineEdit")->text(), QStringLiteral("5.2"));
            QVERIFY(lineEdit(panel, "chipIDLineEdit")->isReadOnly());
            // The frame names the device, since the serial-number row stays hidden.
            QCOMPARE(panel->findChild<QGroupBox*>(QStringLiteral("deviceFrame"))->title(),
                     QStringLiteral("%1 - %2").arg(serials[i], descriptions[i]));
            QVERIFY(panel->unavailableReason().isEmpty());
            QVERIFY(!control(panel, "statusLabel")->isVisibleTo(panel));
        }
        QVERIFY(boxes_->boxes().empty());
    }

    void otherFirmwareDisablesTheRowsForGood() {
        const SimBackend sim("devices=2;fw=5.2,5.1");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* current = panelAt(window, 0);
        varko5ConfigWidget* old = panelAt(window, 1);
        QVERIFY(current != nullptr && old != nullptr);
        // The panel says why, in itself; no box interrupts the start.
        QVERIFY(boxes_->boxes().empty());
        checkReason(old, "This application only works with FW version 5.2\nThis controller reports firmware "
                         "5.1; its configuration cannot be changed here.");
        QVERIFY(current->unavailableReason().isEmpty());
        QCOMPARE(lineEdit(old, "versionLineEdit")->text(), QStringLiteral("5.1"));
        for (const char* name : configurationControls()) {
            QVERIFY2(!control(old, name)->isEnabled(), name);
        }
        QVERIFY(button(current, "getMC")->isEnabled());
        QVERIFY(old->isVisibleTo(&window));
    }

    void silentControllerDisablesTheRows() {
        const SimBackend sim("devices=1;fault=silent_controller;fault_on=0");
        LogCapture log;
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        QCOMPARE(log.texts(spdlog::level::err),
                 std::vector<std::string>{"ARM timed out. It may not be powered."});
        QVERIFY(lineEdit(panel, "versionLineEdit")->text().isEmpty());
        QVERIFY(!lineEdit(panel, "chipIDLineEdit")->text().isEmpty());
        checkReason(panel, "ARM timed out. It may not be powered.\nThe controller did not answer. Check that "
                           "it is powered, then choose Devices > Rescan.");
        for (const char* name : configurationControls()) {
            QVERIFY2(!control(panel, name)->isEnabled(), name);
        }
        QVERIFY(boxes_->boxes().empty());
    }

    void invalidVersionKeepsTheWindowAndTheOtherPanels() {
        const SimBackend sim("devices=2;fault=short_version;fault_on=0;fault_device=0");
        LogCapture log;
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* broken = panelAt(window, 0);
        varko5ConfigWidget* working = panelAt(window, 1);
        QVERIFY(broken != nullptr && working != nullptr);
        QCOMPARE(log.texts(spdlog::level::err), std::vector<std::string>{"Failed at getting ARM Version."});
        QVERIFY(lineEdit(broken, "versionLineEdit")->text().isEmpty());
        for (const char* name : configurationControls()) {
            QVERIFY2(!control(broken, name)->isEnabled(), name);
        }
        QVERIFY(broken->unavailableReason().startsWith(QStringLiteral("Failed at getting ARM Version.\n")));
        QCOMPARE(lineEdit(working, "versionLineEdit")->text(), QStringLiteral("5.2"));
        QVERIFY(button(working, "getLpfp")->isEnabled());
        QVERIFY(boxes_->boxes().empty());
    }

    void browseXmlChecksTheRootElement_data() {
        QTest::addColumn<bool>("motor");
        QTest::newRow("motor") << true;
        QTest::newRow("application") << false;
    }
    void browseXmlChecksTheRootElement() {
        QFETCH(bool, motor);
        const SimBackend sim("devices=1");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        const std::string mcFile = dir_->file("motor.xml");
        const std::string appFile = dir_->file("app.xml");
        saveMcConfigXml(MCConfiguration{}, mcFile);
        saveAppConfigXml(APPConfiguration{}, appFile);
        const std::string good = motor ? mcFile : appFile;
        const std::string wrong = motor ? appFile : mcFile;
        const char* const browseName = motor ? "browseMotorConfig_PushButton" : "browseAppConfig_PushButton";
        const char* const editName = motor ? "motorConfigFile_LineEdit" : "appConfigFile_LineEdit";
        const char* const updateName = motor ? "updateMC" : "updateAPP";
        const QString failure =
            motor ? QStringLiteral("Not a valid MC XML file") : QStringLiteral("Not a valid APP XML file");

        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        LogCapture log;

        files_->answer(good);
        button(panel, browseName)->click();
        checkRequest(FileDialogKind::Open, motor ? "Open MC Config XML" : "Open App Config XML",
                     "XML (*.xml *.xml)", panel);
        QCOMPARE(lineEdit(panel, editName)->text(), QString::fromStdString(good));
        QVERIFY(button(panel, updateName)->isEnabled());
        QVERIFY(boxes_->boxes().empty());

        // The other record's document: refused, previous path kept.
        files_->clear();
        files_->answer(wrong);
        button(panel, browseName)->click();
        const QString wrongName = motor ? QStringLiteral("app.xml") : QStringLiteral("motor.xml");
        checkOnlyBox(
            QMessageBox::Critical, "Error",
            failure +
                QStringLiteral("\n%1 holds the %2 record, not the %3 record")
                    .arg(wrongName,
                         motor ? QStringLiteral("APPConfiguration") : QStringLiteral("MCConfiguration"),
                         motor ? QStringLiteral("MCConfiguration") : QStringLiteral("APPConfiguration")),
            panel);
        QCOMPARE(log.texts(spdlog::level::err), std::vector<std::string>{failure.toStdString()});
        QCOMPARE(lineEdit(panel, editName)->text(), QString::fromStdString(good));
        QVERIFY(!button(panel, updateName)->isEnabled());

        // A file that is not XML at all.
        boxes_->clear();
        writeFileBytes(dir_->file("noise.xml"), "not xml <");
        files_->answer(dir_->file("noise.xml"));
        button(panel, browseName)->click();
        checkOnlyBox(
            QMessageBox::Critical, "Error",
            failure +
                QStringLiteral("\nnoise.xml is not a configuration XML document (no %1 element at "
                               "its root)")
                    .arg(motor ? QStringLiteral("MCConfiguration") : QStringLiteral("APPConfiguration")),
            panel);

        // A file that is not there: named as unreadable.
        boxes_->clear();
        files_->answer(dir_->file("gone.xml"));
        button(panel, browseName)->click();
        checkOnlyBox(QMessageBox::Critical, "Error",
                     failure + QString::fromStdString("\nCannot read file " + dir_->file("gone.xml") +
                                                      ": No such file or directory"),
                     panel);

        // Cancelling changes nothing.
        boxes_->clear();
        files_->answer(good);
        button(panel, browseName)->click();
        QVERIFY(button(panel, updateName)->isEnabled());
        files_->cancel();
        button(panel, browseName)->click();
        QVERIFY(button(panel, updateName)->isEnabled());
        QCOMPARE(lineEdit(panel, editName)->text(), QString::fromStdString(good));
        QVERIFY(boxes_->boxes().empty());
    }

    void browseLpfpChecksTheWholeFile() {
        const SimBackend sim("devices=1");
        const std::string good = dir_->file("good.lpfp");
        writeLpfpFile(LpfpConfiguration{}, good);
        std::string damagedBytes = readFileBytes(good);
        damagedBytes[0] = damagedBytes[0] == 'P' ? 'Q' : 'P';
        writeFileBytes(dir_->file("damaged.lpfp"), damagedBytes);
        writeFileBytes(dir_->file("empty.lpfp"), "FFFF");
        writeFileBytes(dir_->file("stray.lpfp"), "*" + damagedBytes.substr(1));

        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        QLineEdit* edit = lineEdit(panel, "lpfpConfigFile_LineEdit");

        files_->answer(good);
        button(panel, "browseLPFPConfig_PushButton")->click();
        checkRequest(FileDialogKind::Open, "Open LPFP Config", "LPFP (*.lpfp *.LPFP)", panel);
        QCOMPARE(edit->text(), QString::fromStdString(good));
        QVERIFY(button(panel, "updateLPFP")->isEnabled());
        QVERIFY(boxes_->boxes().empty());

        // Each box begins with the reading error's own text, then names the file and the
        // likely cause; a file that is not there is said to be unreadable, not damaged.
        const std::pair<std::string, QString> failures[] = {
            {"damaged.lpfp", "Checksum Fail\ndamaged.lpfp: the file was changed or damaged after it was "
                             "written (its checksum does not match its content)."},
            {"stray.lpfp", "Decoding Failed.\nstray.lpfp: not an LPFP file (its content is not the text an "
                           "LPFP file holds)."},
            {"empty.lpfp",
             "Invalid Configuration File\nempty.lpfp: it does not hold both configuration documents."},
            {"missing.lpfp", QString::fromStdString("Cannot read file " + dir_->file("missing.lpfp") +
                                                    ": No such file or directory")}};
        for (const auto& [file, text] : failures) {
            boxes_->clear();
            edit->setText(QString::fromStdString(good));
            button(panel, "updateLPFP")->setEnabled(true);
            files_->answer(dir_->file(file));
            button(panel, "browseLPFPConfig_PushButton")->click();
            checkOnlyBox(QMessageBox::Critical, "Error", text, panel);
            QVERIFY(edit->text().isEmpty());
            QVERIFY(!button(panel, "updateLPFP")->isEnabled());
        }

        boxes_->clear();
        files_->cancel();
        button(panel, "browseLPFPConfig_PushButton")->click();
        QVERIFY(boxes_->boxes().empty());
    }

    void currentAndDefaultWriteTheDeviceRecords_data() {
        QTest::addColumn<QByteArray>("buttonName");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("getMC") << QByteArray("getMC") << "Save MC Configuration"
                               << "XML (*.xml)"
                               << "MC Configuration saved to: ";
        QTest::newRow("defaultMC") << QByteArray("defaultMC") << "Save MC Configuration"
                                   << "XML (*.xml)"
                                   << "Default MC Configuration saved to: ";
        QTest::newRow("getApp") << QByteArray("getApp") << "Save APP Configuration"
                                << "XML (*.xml)"
                                << "App Configuration saved to: ";
        QTest::newRow("defaultApp") << QByteArray("defaultApp") << "Save APP Configuration"
                                    << "XML (*.xml)"
                                    << "Default App Configuration saved to: ";
        QTest::newRow("getLpfp") << QByteArray("getLpfp") << "Save LPFP Configuration"
                                 << "LPFP Files(*.lpfp)"
                                 << "LPFP Configuration saved to: ";
        QTest::newRow("defaultLPFP") << QByteArray("defaultLPFP") << "Save LPFP Configuration"
                                     << "LPFP Files(*.lpfp)"
                                     << "Default LPFP Configuration saved to: ";
    }
    void currentAndDefaultWriteTheDeviceRecords() {
        QFETCH(QByteArray, buttonName);
        QFETCH(QString, caption);
        QFETCH(QString, filter);
        QFETCH(QString, prefix);
        // Current records that differ from the defaults, so that each button must read its own.
        SimRecords current;
        current.mc.l_current_max += 3.0f;
        current.mc.si_motor_poles = 22;
        current.app.controller_id = 5;
        current.app.app_ppm_conf.hyst += 0.5f;
        const std::string state = dir_->file("device.state");
        QVERIFY(saveSimState(state, current));
        const SimBackend sim("devices=1;state=" + QByteArray::fromStdString(state));
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        const DeviceRecords records = readDeviceRecords(*sim);
        QVERIFY(!mcConfigEquals(records.mc, records.defaultMc));
        QVERIFY(!appConfigEquals(records.app, records.defaultApp));
        const std::string reference = dir_->file("reference");
        const std::map<QByteArray, std::function<void()>> writers{
            {"getMC", [&] { saveMcConfigXml(records.mc, reference); }},
            {"defaultMC", [&] { saveMcConfigXml(records.defaultMc, reference); }},
            {"getApp", [&] { saveAppConfigXml(records.app, reference); }},
            {"defaultApp", [&] { saveAppConfigXml(records.defaultApp, reference); }},
            {"getLpfp",
             [&] {
                 writeLpfpFile({records.app, records.mc}, reference);
             }},
            {"defaultLPFP", [&] {
                 writeLpfpFile({records.defaultApp, records.defaultMc}, reference);
             }}};
        writers.at(buttonName)();

        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        // A name without an extension gets the one of the dialog's filter.
        files_->answer(dir_->file("saved"));
        const std::string path =
            dir_->file(filter.contains(QStringLiteral("lpfp")) ? "saved.lpfp" : "saved.xml");
        QVERIFY(clickAndWait(panel, buttonName.constData()));
        checkRequest(FileDialogKind::Save, caption.toLatin1().constData(), filter.toLatin1().constData(),
                     panel);
        QVERIFY(!exists(dir_->file("saved")));
        QCOMPARE(readFileBytes(path), readFileBytes(reference));
        checkOnlyBox(QMessageBox::Information, "SUCCESS", prefix + QString::fromStdString(path), panel);

        // A cancelled dialog ends the slot.
        boxes_->clear();
        files_->cancel();
        QVERIFY(clickAndWait(panel, buttonName.constData()));
        QVERIFY(boxes_->boxes().empty());
    }

    // Saving onto a link replaces the file it points to, whose mode stays; the link stays too.
    void savingThroughALinkReplacesItsTarget() {
#ifdef _WIN32
        QSKIP("symbolic links and POSIX modes: Linux only");
#else
        const SimBackend sim("devices=1");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        const std::string target = dir_->file("kept.lpfp");
        writeFileBytes(target, "old");
        std::filesystem::permissions(target, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_write |
                                                 std::filesystem::perms::group_read);
        const std::string link = dir_->file("link.lpfp");
        std::filesystem::create_symlink(target, link);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        files_->answer(link);
        QVERIFY(clickAndWait(panel, "getLpfp"));
        checkOnlyBox(QMessageBox::Information, "SUCCESS",
                     QStringLiteral("LPFP Configuration saved to: ") + QString::fromStdString(link), panel);
        QVERIFY(std::filesystem::is_symlink(link));
        const DeviceRecords records = readDeviceRecords(*sim);
        QCOMPARE(readFileBytes(target), encodeLpfp(buildLpfpText({records.app, records.mc})));
        QCOMPARE(std::filesystem::status(target).permissions(), std::filesystem::perms::owner_read |
                                                                    std::filesystem::perms::owner_write |
                                                                    std::filesystem::perms::group_read);
#endif
    }

    void currentAndDefaultFailuresWriteNoFile_data() {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QByteArray>("buttonName");
        QTest::addColumn<bool>("unwritable");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("getMC damaged")
            << QByteArray("devices=1;fault=bad_crc;fault_on=14") << QByteArray("getMC") << false
            << "Failed at retrieving MC Configuration"
            << "Reply from controller failed its CRC check";
        QTest::newRow("getApp wrong signature")
            << QByteArray("devices=1;fault=wrong_signature;fault_on=17") << QByteArray("getApp") << false
            << "Failed at retrieving App Configuration"
            << "Reply from controller does not carry the";
        QTest::newRow("getLpfp motor truncated")
            << QByteArray("devices=1;fault=truncated_reply;fault_on=14") << QByteArray("getLpfp") << false
            << "Failed at retrieving LPFP Configuration"
            << "ARM timed out. It may not be powered."; // the link waits for the rest of the reply
        QTest::newRow("defaultMC refused ack")
            << QByteArray("devices=1;fault=ack_failed;fault_on=15") << QByteArray("defaultMC") << false
            << "Failed at retrieving Default MC Configuration"
            << "Request for the";
        QTest::newRow("defaultApp damaged")
            << QByteArray("devices=1;fault=bad_crc;fault_on=18") << QByteArray("defaultApp") << false
            << "Failed at retrieving Default App Configuration"
            << "Reply from controller failed its CRC check";
        QTest::newRow("defaultLPFP damaged")
            << QByteArray("devices=1;fault=bad_crc;fault_on=18") << QByteArray("defaultLPFP") << false
            << "Failed at retrieving Default LPFP Configuration"
            << "Reply from controller failed its CRC check";
        QTest::newRow("getMC unwritable") << QByteArray("devices=1") << QByteArray("getMC") << true
                                          << "Failed at retrieving MC Configuration"
                                          << "missing-folder";
        QTest::newRow("getApp unwritable") << QByteArray("devices=1") << QByteArray("getApp") << true
                                           << "Failed at retrieving App Configuration"
                                           << "missing-folder";
        QTest::newRow("defaultLPFP unwritable") << QByteArray("devices=1") << QByteArray("defaultLPFP")
                                                << true << "Failed at retrieving Default LPFP Configuration"
                                                << "missing-folder";
        QTest::newRow("getMC time-out")
            << QByteArray("devices=1;fault=silent_controller;fault_on=14") << QByteArray("getMC") << false
            << "Failed at retrieving MC Configuration"
            << "ARM timed out. It may not be powered.";
    }
    void currentAndDefaultFailuresWriteNoFile() {
        QFETCH(QByteArray, scenario);
        QFETCH(QByteArray, buttonName);
        QFETCH(bool, unwritable);
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        const SimBackend sim(scenario);
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        const std::string path = unwritable ? dir_->file("missing-folder/saved") : dir_->file("saved");
        LogCapture log;
        files_->answer(path);
        QVERIFY(clickAndWait(panel, buttonName.constData()));
        // The system's text first, then why.
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        const QStringList lines = boxes_->boxes()[0].text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], failure);
        QVERIFY2(lines[1].startsWith(reason) ||
                     (reason.startsWith(QStringLiteral("missing")) && lines[1].contains(reason)),
                 qPrintable(lines[1]));
        QVERIFY(!exists(path));
        QVERIFY(!exists(path + (buttonName.endsWith("LPFP") ? ".lpfp" : ".xml")));
        const std::vector<std::string> errors = log.texts(spdlog::level::err);
        QVERIFY2(std::find(errors.begin(), errors.end(), failure.toStdString()) != errors.end(),
                 qPrintable(joined(errors)));
    }

    void aPanelThatCannotOpenItsDeviceSaysSo() {
        // Opening is the worker's: the window still opens, with the panel and its reason.
        const SimBackend sim("devices=2;open_error=1");
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        QCOMPARE(window.panels().size(), std::size_t{2});
        int number = 0;
        for (varko5ConfigWidget* panel : window.panels()) {
            // The fixed text, then why the device layer could not open it, naming the device.
            const QString reason = panel->unavailableReason();
            const QStringList lines = reason.split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 3);
            QCOMPARE(lines[0], QStringLiteral("Failed to open device"));
            QVERIFY2(lines[1].startsWith(
                         QStringLiteral("Device VK5SIM%1 ").arg(++number, 4, 10, QLatin1Char('0'))) &&
                         lines[1].contains(QStringLiteral(" could not be opened")),
                     qPrintable(lines[1]));
            QCOMPARE(lines[2], QStringLiteral("The bridge could not be opened; plug it in again, then choose "
                                              "Devices > Rescan."));
            checkReason(panel, reason);
            QVERIFY(lineEdit(panel, "chipIDLineEdit")->text().isEmpty());
        }
        QVERIFY(boxes_->boxes().empty());
    }

    void aPortHeldByAnotherProgramIsNamedAsSuch() {
        // The second bridge's port is open elsewhere; the first works as ever.
        MainWindow window(std::make_shared<PortInUseBackend>("devices=2", "VK5SIM0002"));
        QVERIFY(waitIdle(window));
        checkReason(panelAt(window, 1),
                    "The port is in use by another program.\nClose the other program, then "
                    "choose Devices > Rescan.");
        QVERIFY(panelAt(window, 0)->unavailableReason().isEmpty());
        QVERIFY(panelAt(window, 1)->wantsReconnect());
        QVERIFY(boxes_->boxes().empty());
    }

    void aWorkingPanelIsBusyUntilItsWorkEnds() {
        const SimBackend sim("devices=1;latency=100");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        MainWindow window(sim);
        varko5ConfigWidget* panel = panelAt(window, 0);
        QVERIFY(panel != nullptr);
        auto* indicator = panel->findChild<QProgressBar*>(QStringLiteral("busyIndicator"));
        auto* status = panel->findChild<QLabel*>(QStringLiteral("statusLabel"));
        QVERIFY(indicator != nullptr && status != nullptr);
        // Identifying counts as work.
        QVERIFY(panel->isBusy());
        QVERIFY(indicator->isVisibleTo(panel));
        QVERIFY(waitIdle(panel));
        QVERIFY(!indicator->isVisibleTo(panel));
        QVERIFY(!status->isVisibleTo(panel));

        QSignalSpy busy(panel, &varko5ConfigWidget::busyChanged);
        files_->answer(dir_->file("current.lpfp"));
        button(panel, "getLpfp")->click();
        QVERIFY(panel->isBusy());
        QCOMPARE(busy.count(), 1);
        QCOMPARE(busy[0][0].toBool(), true);
        for (const char* name : configurationControls()) {
            if (QByteArray(name).endsWith("Label") || QByteArray(name).endsWith("LineEdit")) {
                QVERIFY2(control(panel, name)->isEnabled(), name);
            } else {
                QVERIFY2(!control(panel, name)->isEnabled(), name);
            }
        }
        QVERIFY(indicator->isVisibleTo(panel));
        QVERIFY(status->isVisibleTo(panel));
        QVERIFY2(status->text().startsWith(QStringLiteral("Saving to ")), qPrintable(status->text()));
        // Nothing is written before the records have arrived.
        QVERIFY(!exists(dir_->file("current.lpfp")));

        QVERIFY(busy.wait(5000));
        QCOMPARE(busy.last()[0].toBool(), false);
        QVERIFY(exists(dir_->file("current.lpfp")));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        // The buttons are back as they were: Update waits for its file.
        for (const char* name : configurationControls()) {
            QCOMPARE(control(panel, name)->isEnabled(), !QByteArray(name).startsWith("update"));
        }
        QVERIFY(!indicator->isVisibleTo(panel));
    }

    void boxesNameTheirDeviceAndSitOverItsPanel() {
        const SimBackend sim("devices=2;serial=S1,S2;description=First,Second");
        const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
        MainWindow window(sim);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitIdle(window));
        varko5ConfigWidget* second = panelAt(window, 1);
        QVERIFY(second != nullptr);
        writeFileBytes(dir_->file("noise.xml"), "not xml <");
        files_->answer(dir_->file("noise.xml"));
        button(second, "browseMotorConfig_PushButton")->click();
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        const ShownBox& box = boxes_->boxes()[0];
        QCOMPARE(box.text,
                 QStringLiteral("Not a valid MC XML file\nnoise.xml is not a configuration XML document "
                                "(no MCConfiguration element at its root)"));
        QCOMPARE(box.parent, static_cast<QWidget*>(second));
        QCOMPARE(box.informativeText, QStringLiteral("Device: S2 - Second"));
        const QRect visible = second->visibleRegion().boundingRect();
        const QRect panelOnScreen(second->mapToGlobal(visible.topLeft()), visible.size());
        QVERIFY2(panelOnScreen.contains(box.geometry.center()),
                 qPrintable(QStringLiteral("box at %1,%2, panel %3,%4 %5x%6")
                                .arg(box.geometry.center().x())
                                .arg(box.geometry.center().y())
                                .arg(panelOnScreen.x())
                                .arg(panelOnScreen.y())
                                .arg(panelOnScreen.width())
                                .arg(panelOnScreen.height())));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PanelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "panel_test.moc"
