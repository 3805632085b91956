// Saves the README's picture of a failed update: two panels, an LPFP update whose read-back
// copies differ from what was sent, and the failure box with its reasons over its panel.
//   loader_failure_screenshot <file.png>     (run by scripts/screenshots.sh under Xvfb)

#include "core/lpfp/lpfp.h"
#include "loader/file_dialogs.h"
#include "loader/mainwindow.h"
#include "loader/varko5configwidget.h"
#include "simulator/simulator.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file.png>\n", argv[0]);
        return 2;
    }
    TempDir dir;
    // The backup taken before the update goes to the scratch folder.
    const ScopedEnv dataHome("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data")));
    // The first controller alters one field of each record it stores.
    const SimBackend sim("devices=2;serial=VK5A0001,VK5A0002;description=Varko 5 USB Bridge,Varko 5 USB "
                         "Bridge;chipid=0x1F2E3D4C,0x00A1B2C3;fault=change_on_write;fault_on=13,16;"
                         "fault_device=0");
    const std::string lpfp = dir.file("bench.lpfp");
    writeLpfpFile(LpfpConfiguration{simulatorDefaultAppConfig(), simulatorDefaultMcConfig()}, lpfp);
    setFileDialogFunction([&](const FileDialogRequest&) { return QString::fromStdString(lpfp); });

    MainWindow window(sim);
    window.setWindowTitle(QStringLiteral("LPFP Configuration Loader"));
    window.show();
    varko5ConfigWidget* panel = panelAt(window, 0);
    if (panel == nullptr || !waitIdle(window)) {
        return 1;
    }
    button(panel, "browseLPFPConfig_PushButton")->click();

    button(panel, "updateLPFP")->click();
    if (!waitIdle(panel)) {
        return 1;
    }
    // The box is not modal: wait until it is on the screen, grab the window with the box over
    // it, then press OK.
    QMessageBox* box = panel->resultBox();
    if (box == nullptr || !QTest::qWaitForWindowExposed(box)) {
        return 1;
    }
    QTest::qWait(300);
    QPixmap shot = window.grab();
    QPainter painter(&shot);
    painter.drawPixmap(box->mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0)), box->grab());
    painter.end();
    const bool saved = shot.save(QString::fromLocal8Bit(argv[1]));
    box->button(QMessageBox::Ok)->click();
    if (!saved) {
        return 1;
    }
    return 0;
}
