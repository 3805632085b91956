// The main window against the simulated controller: start-up with zero, one and two devices,
// start-up failures, the converter buttons, Help -> About and both conversions with their dialogs.

#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"
#include "loader/mainwindow.h"
#include "loader/varko5configwidget.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "varko5_version.h"

#include <QApplication>
#include <QFormLayout>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <memory>

namespace {

const QByteArray ONE_DEVICE = "devices=1";
const char* const XML_FILTER = "XML (*.xml *.XML)";
const char* const LPFP_FILTER = "LPFP Files(*.lpfp)";
const char* const XML_TO_LPFP_FAILURE =
    "Could not convert the XML files into LPFP files. Check that the XML files have the proper "
    "<APPConfiguration></APPConfiguration> and <MCConfiguration></MCConfiguration> tags";

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    // Boxes caught, file dialogs answered, a scratch folder that is also where backups go, and
    // the log (the byte-level trace of the advanced mode included) kept off the console.
    std::unique_ptr<LoaderFixture> fixture_;
    MessageBoxCatcher* boxes_ = nullptr;
    FileAnswers* files_ = nullptr;
    TempDir* dir_ = nullptr;

    // Records of the simulated device, written as the files the converters work on.
    void writeSampleFiles(const std::string& lpfp, const std::string& appXml, const std::string& mcXml) {
        const SimBackend sim(ONE_DEVICE);
        const DeviceRecords records = readDeviceRecords(*sim);
        writeLpfpFile({records.app, records.mc}, lpfp);
        saveAppConfigXml(records.app, appXml);
        saveMcConfigXml(records.mc, mcXml);
    }

    void checkRequest(std::size_t index, FileDialogKind kind, const char* caption, const char* filter) {
        QVERIFY(files_->requests().size() > index);
        const FileDialogRequest& request = files_->requests()[index];
        QCOMPARE(request.kind, kind);
        QCOMPARE(request.caption, QString::fromLatin1(caption));
        QCOMPARE(request.filter, QString::fromLatin1(filter));
    }

private slots:
    void init() {
        fixture_ = std::make_unique<LoaderFixture>();
        boxes_ = &fixture_->boxes;
        files_ = &fixture_->files;
        dir_ = &fixture_->dir;
    }
    void cleanup() { fixture_.reset(); }

    void formHasItsObjectsAndTexts() {
        const SimBackend sim(ONE_DEVICE);
        const ScopedEnv advanced("VARKO5_ADVANCED", std::nullopt);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.size(), QSize(800, 183));
        QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
        auto* lpfpToXml = window.findChild<QPushButton*>(QStringLiteral("convertLPFPButton"));
        auto* xmlToLpfp = window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"));
        QVERIFY(lpfpToXml != nullptr && xmlToLpfp != nullptr);
        QCOMPARE(lpfpToXml->text(), QStringLiteral("LPFP to XML"));
        QCOMPARE(xmlToLpfp->text(), QStringLiteral("XML to LPFP"));
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("centralwidget")) == window.centralWidget());
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("menubar")) != nullptr);
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("statusbar")) != nullptr);
        QVERIFY(boxes_->boxes().empty());

        const QMetaObject& meta = MainWindow::staticMetaObject;
        QStringList slotNames;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            slotNames << QString::fromLatin1(meta.method(i).name());
        }
        QCOMPARE(slotNames, (QStringList{"on_convertXMLButton_clicked", "on_convertLPFPButton_clicked"}));
    }

    void helpAboutShowsTheProjectVersion() {
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        auto* help = window.findChild<QMenu*>(QStringLiteral("menuHelp"));
        QVERIFY(help != nullptr);
        QCOMPARE(help->title(), QStringLiteral("&Help"));
        auto* devices = window.findChild<QMenu*>(QStringLiteral("devicesMenu"));
        QVERIFY(devices != nullptr);
        QCOMPARE(window.menuBar()->actions(), (QList<QAction*>{devices->menuAction(), help->menuAction()}));
        auto* about = window.findChild<QAction*>(QStringLiteral("actionAbout"));
        QVERIFY(about != nullptr);
        QCOMPARE(help->actions(), QList<QAction*>{about});
        QVERIFY(boxes_->boxes().empty());

        about->trigger(); // modal: returns once the catcher has pressed OK
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        const ShownBox& box = boxes_->boxes().front();
        QCOMPARE(box.title, QStringLiteral("About LPFP Configuration Loader"));
        QCOMPARE(box.text.section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("LPFP Configuration Loader ") + QString::fromLatin1(VARKO5_VERSION));
        QCOMPARE(box.parent, &window);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void convertersFollowTheAdvancedVariable() {
        const SimBackend sim(ONE_DEVICE);
        {
            const ScopedEnv advanced("VARKO5_ADVANCED", std::nullopt);
            MainWindow window(sim);
            QVERIFY(waitIdle(window));
            QVERIFY(window.findChild<QPushButton*>(QStringLiteral("convertLPFPButton"))->isHidden());
            QVERIFY(window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"))->isHidden());
        }
#ifndef _WIN32 // Windows cannot hold a variable that is set but empty: setting "" removes it
        {
            // Defined with an empty value still counts.
            const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray(""));
            MainWindow window(sim);
            QVERIFY(waitIdle(window));
            QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("convertLPFPButton"))->isHidden());
            QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"))->isHidden());
        }
#endif
        {
            const ScopedEnv advanced("VARKO5_ADVANCED", QByteArray("1"));
            MainWindow window(sim);
            QVERIFY(waitIdle(window));
            QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("convertLPFPButton"))->isHidden());
            QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"))->isHidden());
        }
    }

    void twoDevicesGiveTwoPanelsInListOrder() {
        const SimBackend sim("devices=2;description=First Varko,Second Varko");
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        auto* layout = window.findChild<QFormLayout*>(QStringLiteral("formLayout"));
        QVERIFY(layout != nullptr);
        QCOMPARE(layout->rowCount(), 4);
        const QStringList expected{QStringLiteral("First Varko"), QStringLiteral("Second Varko")};
        for (int row = 2; row < 4; ++row) {
            QLayoutItem* item = layout->itemAt(row, QFormLayout::FieldRole);
            QVERIFY(item != nullptr);
            auto* panel = qobject_cast<varko5ConfigWidget*>(item->widget());
            QVERIFY(panel != nullptr);
            QCOMPARE(panel->findChild<QLineEdit*>(QStringLiteral("descriptionLineEdit"))->text(),
                     expected[row - 2]);
        }
        QVERIFY(boxes_->boxes().empty());
    }

    void noDeviceShowsTheErrorBoxAndAnEmptyWindow() {
        const SimBackend sim("devices=0");
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        QVERIFY(window.findChildren<varko5ConfigWidget*>().isEmpty());
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        const ShownBox& box = boxes_->boxes()[0];
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, QStringLiteral("ERROR"));
        QCOMPARE(box.text, QStringLiteral("No Varko 5 Devices found"));
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.parent, static_cast<QWidget*>(&window));
    }

    void startUpFailuresEndWithStatusOne_data() {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("text");
        QTest::newRow("device list") << QByteArray("devices=1;list_error=4")
                                     << QStringLiteral("Error: FT_CreateDeviceInfoList(...):  Status: 4");
    }
    void startUpFailuresEndWithStatusOne() {
        QFETCH(QByteArray, scenario);
        QFETCH(QString, text);
        const SimBackend sim(scenario);
        LogCapture log;
        QCOMPARE(runLoader(*qApp, sim), 1);
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("ERROR"));
        QCOMPARE(boxes_->boxes()[0].text, text);
        // What the status means, below the system's text.
        QCOMPARE(boxes_->boxes()[0].informativeText,
                 QStringLiteral("The system could not be asked for its serial ports."));
        QVERIFY(log.contains(text.toStdString()));
    }

    void loaderShowsTheTitledWindowUntilItIsClosed() {
        const SimBackend sim(ONE_DEVICE);
        QString title;
        QTimer::singleShot(0, qApp, [&title] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (qobject_cast<MainWindow*>(widget) != nullptr && widget->isVisible()) {
                    title = widget->windowTitle();
                    widget->close();
                }
            }
        });
        QCOMPARE(runLoader(*qApp, sim), 0);
        QCOMPARE(title, QStringLiteral("LPFP Configuration Loader"));
    }

    void screenshotModeSavesTheWindowAndEnds() {
        const SimBackend sim(ONE_DEVICE);
        const std::string path = dir_->file("window.png");
        const ScopedEnv shot("VARKO5_SCREENSHOT", QByteArray::fromStdString(path));
        QCOMPARE(runLoader(*qApp, sim), 0);
        const QImage image(QString::fromStdString(path));
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 600);
    }

    void lpfpToXmlWritesBothDocuments() {
        const std::string lpfp = dir_->file("in.lpfp");
        const std::string refApp = dir_->file("ref.app.xml");
        const std::string refMc = dir_->file("ref.mc.xml");
        writeSampleFiles(lpfp, refApp, refMc);
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        // The second name has no extension: the dialog's filter gives it one.
        const std::string app = dir_->file("out.app.xml");
        const std::string mc = dir_->file("out-mc.xml");
        files_->answer(lpfp);
        files_->answer(app);
        files_->answer(dir_->file("out-mc"));
        window.findChild<QPushButton*>(QStringLiteral("convertLPFPButton"))->click();

        QCOMPARE(files_->requests().size(), std::size_t{3});
        QVERIFY(!exists(dir_->file("out-mc")));
        checkRequest(0, FileDialogKind::Open, "Open LPFP Config", LPFP_FILTER);
        checkRequest(1, FileDialogKind::Save, "Save App Configuration", XML_FILTER);
        checkRequest(2, FileDialogKind::Save, "Save MC Configuration", XML_FILTER);
        QVERIFY(files_->requests()[0].parent == &window);
        QCOMPARE(readFileBytes(app), readFileBytes(refApp));
        QCOMPARE(readFileBytes(mc), readFileBytes(refMc));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].icon, QMessageBox::Information);
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("SUCCESS"));
        QCOMPARE(boxes_->boxes()[0].text, QStringLiteral("XML files created"));
    }

    void lpfpToXmlAsksAllThreeAndStopsOnACancel_data() {
        QTest::addColumn<int>("cancelled");
        QTest::newRow("first") << 0;
        QTest::newRow("last") << 2;
    }
    void lpfpToXmlAsksAllThreeAndStopsOnACancel() {
        QFETCH(int, cancelled);
        const std::string lpfp = dir_->file("in.lpfp");
        writeSampleFiles(lpfp, dir_->file("ref.app.xml"), dir_->file("ref.mc.xml"));
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        const std::string answers[] = {lpfp, dir_->file("out.app.xml"), dir_->file("out.mc.xml")};
        for (int i = 0; i < 3; ++i) {
            if (i == cancelled) {
                files_->cancel();
            } else {
                files_->answer(answers[i]);
            }
        }
        window.findChild<QPushButton*>(QStringLiteral("convertLPFPButton"))->click();
        QCOMPARE(files_->requests().size(), std::size_t{3});
        QVERIFY(!exists(answers[1]));
        QVERIFY(!exists(answers[2]));
        QVERIFY(boxes_->boxes().empty());
    }

    void lpfpToXmlFailuresShowTheConverterBox_data() {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("reason");
        QTest::newRow("checksum") << true << "Checksum Fail";
        QTest::newRow("unwritable target") << false << "missing-folder";
    }
    void lpfpToXmlFailuresShowTheConverterBox() {
        QFETCH(bool, damaged);
        QFETCH(QString, reason);
        const std::string lpfp = dir_->file("in.lpfp");
        writeSampleFiles(lpfp, dir_->file("ref.app.xml"), dir_->file("ref.mc.xml"));
        std::string app = dir_->file("out.app.xml");
        if (damaged) {
            std::string bytes = readFileBytes(lpfp);
            bytes.back() = bytes.back() == '0' ? '1' : '0';
            writeFileBytes(lpfp, bytes);
        } else {
            app = dir_->file("missing-folder/out.app.xml");
        }
        const std::string mc = dir_->file("out.mc.xml");
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        files_->answer(lpfp);
        files_->answer(app);
        files_->answer(mc);
        window.findChild<QPushButton*>(QStringLiteral("convertLPFPButton"))->click();
        QVERIFY(!exists(app));
        if (damaged) {
            QVERIFY(!exists(mc));
        }
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("Error"));
        // The system's text, then why.
        const QStringList lines = boxes_->boxes()[0].text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), damaged ? 3 : 2);
        QCOMPARE(lines[0], QStringLiteral("Could not convert the LPFP file into XML files"));
        QVERIFY2(lines[1].contains(reason), qPrintable(lines[1]));
        if (damaged) {
            // The file, and the likely cause.
            QVERIFY2(lines[2].startsWith(QStringLiteral("in.lpfp: ")) ||
                         lines[2].contains(QStringLiteral(".lpfp: ")),
                     qPrintable(lines[2]));
        }
        // A damaged input is refused before the names of the outputs are asked for.
        QCOMPARE(files_->requests().size(), damaged ? std::size_t{1} : std::size_t{3});
    }

    void xmlToLpfpWritesTheConverterForm() {
        const std::string app = dir_->file("in.app.xml");
        const std::string mc = dir_->file("in.mc.xml");
        writeSampleFiles(dir_->file("unused.lpfp"), app, mc);
        const std::string reference = dir_->file("ref.lpfp");
        QVERIFY(xmlFilesToLpfp(app, mc, reference));
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        const std::string lpfp = dir_->file("out.lpfp");
        files_->answer(app);
        files_->answer(mc);
        files_->answer(dir_->file("out"));
        window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"))->click();

        QCOMPARE(files_->requests().size(), std::size_t{3});
        QVERIFY(!exists(dir_->file("out")));
        checkRequest(0, FileDialogKind::Open, "Open App Config XML", XML_FILTER);
        checkRequest(1, FileDialogKind::Open, "Open MC Config XML", XML_FILTER);
        checkRequest(2, FileDialogKind::Save, "Save LPFP Configuration", LPFP_FILTER);
        QCOMPARE(readFileBytes(lpfp), readFileBytes(reference));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].icon, QMessageBox::Information);
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("SUCCESS"));
        QCOMPARE(boxes_->boxes()[0].text, QStringLiteral("LPFP file created"));
    }

    void xmlToLpfpStopsOnACancel() {
        const std::string app = dir_->file("in.app.xml");
        const std::string mc = dir_->file("in.mc.xml");
        writeSampleFiles(dir_->file("unused.lpfp"), app, mc);
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        const std::string lpfp = dir_->file("out.lpfp");
        files_->answer(app);
        files_->cancel();
        files_->answer(lpfp);
        window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"))->click();
        QCOMPARE(files_->requests().size(), std::size_t{3});
        QVERIFY(!exists(lpfp));
        QVERIFY(boxes_->boxes().empty());
    }

    void xmlToLpfpFailuresShowTheLongBox_data() {
        QTest::addColumn<QString>("appInput");
        QTest::addColumn<QString>("mcInput");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("motor file as application file")
            << "in.mc.xml"
            << "in.mc.xml"
            << "out.lpfp"
            << "in.mc.xml holds the MCConfiguration record, not the APPConfiguration record";
        QTest::newRow("not XML") << "in.app.xml"
                                 << "noise.xml"
                                 << "out.lpfp"
                                 << "noise.xml is not a configuration XML document";
        QTest::newRow("unwritable target") << "in.app.xml"
                                           << "in.mc.xml"
                                           << "missing-folder/out.lpfp"
                                           << "missing-folder";
    }
    void xmlToLpfpFailuresShowTheLongBox() {
        QFETCH(QString, appInput);
        QFETCH(QString, mcInput);
        QFETCH(QString, target);
        QFETCH(QString, reason);
        writeSampleFiles(dir_->file("unused.lpfp"), dir_->file("in.app.xml"), dir_->file("in.mc.xml"));
        writeFileBytes(dir_->file("noise.xml"), "not xml <");
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        const std::string lpfp = dir_->file(target.toStdString());
        files_->answer(dir_->file(appInput.toStdString()));
        files_->answer(dir_->file(mcInput.toStdString()));
        files_->answer(lpfp);
        window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"))->click();
        QVERIFY(!exists(lpfp));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("Error"));
        const QStringList lines = boxes_->boxes()[0].text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QString::fromLatin1(XML_TO_LPFP_FAILURE));
        QVERIFY2(lines[1].contains(reason), qPrintable(lines[1]));
        // Inputs that cannot be converted are refused before the output's name is asked for.
        const bool inputsBad = !target.startsWith(QStringLiteral("missing"));
        QCOMPARE(files_->requests().size(), inputsBad ? std::size_t{2} : std::size_t{3});
    }

    // An end tag inside a comment would cut the document short: the file the converter would
    // write could not be read, so the one already there stays.
    void xmlToLpfpKeepsTheOldFileWhenTheNewOneWouldNotReadBack() {
        const std::string app = dir_->file("in.app.xml");
        const std::string mc = dir_->file("in.mc.xml");
        writeSampleFiles(dir_->file("unused.lpfp"), app, mc);
        std::string text = readFileBytes(app);
        text.insert(text.find("<controller_id>"), "<!-- </APPConfiguration> -->");
        writeFileBytes(app, text);
        const std::string lpfp = dir_->file("out.lpfp");
        writeFileBytes(lpfp, "the old file");
        const SimBackend sim(ONE_DEVICE);
        MainWindow window(sim);
        QVERIFY(waitIdle(window));
        files_->answer(app);
        files_->answer(mc);
        files_->answer(lpfp);
        window.findChild<QPushButton*>(QStringLiteral("convertXMLButton"))->click();
        QCOMPARE(readFileBytes(lpfp), std::string("the old file"));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].icon, QMessageBox::Critical);
        // The reason follows the system's text.
        const QStringList lines = boxes_->boxes()[0].text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QString::fromLatin1(XML_TO_LPFP_FAILURE));
        QVERIFY2(lines[1].startsWith(QString::fromStdString(lpfp) + QStringLiteral(" not written: ")),
                 qPrintable(lines[1]));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
