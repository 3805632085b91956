// Saves the README's picture of the parameter view: a simulated controller whose current
// values differ from its defaults in a few keys, a motor document to compare with, one edit
// not yet applied, the application record and every group but the limits collapsed.
//   loader_parameter_screenshot <file.png>     (run by scripts/screenshots.sh under Xvfb)

#include "loader/file_dialogs.h"
#include "loader/mainwindow.h"
#include "loader/parameter_model.h"
#include "loader/parameter_view.h"
#include "loader/varko5configwidget.h"
#include "simulator/simulator.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file.png>\n", argv[0]);
        return 2;
    }
    TempDir dir;
    SimRecords records;
    records.mc.l_current_max = 75.0f;
    records.mc.l_in_current_max = 50.0f;
    records.mc.foc_current_kp = records.mc.foc_current_kp + 0.25f;
    const std::string state = dir.file("controller.state");
    const std::string motor = dir.file("bench-motor.xml");
    if (!saveSimState(state, records)) {
        return 1;
    }
    writeFileBytes(motor, "<MCConfiguration>\n"
                          "    <l_current_max>80</l_current_max>\n"
                          "    <l_in_current_max>50</l_in_current_max>\n"
                          "</MCConfiguration>\n");
    const SimBackend sim("devices=1;serial=VK5A0001;description=Varko 5 USB Bridge;chipid=0x1F2E3D4C;state=" +
                         state);
    setFileDialogFunction([&](const FileDialogRequest&) { return QString::fromStdString(motor); });

    MainWindow window(sim);
    window.show();
    varko5ConfigWidget* panel = panelAt(window, 0);
    // The panel identifies its controller in its worker first.
    if (panel == nullptr || !waitIdle(window)) {
        return 1;
    }
    button(panel, "parameters_PushButton")->click();
    ParameterView* view = panel->parameterView();
    QSignalSpy loaded(view, &ParameterView::loaded);
    if (!loaded.wait(5000)) {
        return 1;
    }
    view->resize(900, 840);
    view->findChild<QPushButton*>(QStringLiteral("compareFileButton"))->click();
    ParameterModel* model = view->model();
    model->setData(
        model->indexOf(RecordKind::Mc, QStringLiteral("l_abs_current_max"), ParameterModel::CurrentColumn),
        QStringLiteral("150"));
    view->findChild<QPushButton*>(QStringLiteral("collapseAllButton"))->click();
    auto* tree = view->findChild<QTreeView*>(QStringLiteral("parameterTable"));
    const QModelIndex limits = model->indexOf(RecordKind::Mc, QStringLiteral("l_current_max")).parent();
    tree->collapse(model->indexOf(RecordKind::App, QStringLiteral("controller_id")).parent().parent());
    tree->expand(limits);
    QApplication::processEvents();
    const bool saved = view->grab().save(QString::fromLocal8Bit(argv[1]));
    // The edit is not applied: leave without the question.
    view->setAskFunction([](QWidget*, const QString&, const QString&) { return true; });
    return saved ? 0 : 1;
}
