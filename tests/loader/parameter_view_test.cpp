// The parameter view of a panel against the simulated controller: what it reads and how it
// marks differences, the filter, editing with its refusals, resetting, the verified apply
// with its backup and its failures, closing with edits, and Save as.

#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"
#include "loader/mainwindow.h"
#include "loader/parameter_delegate.h"
#include "loader/parameter_model.h"
#include "loader/parameter_view.h"
#include "loader/varko5configwidget.h"
#include "simulator/simulator.h"
#include "tests/loader/loader_test_support.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>

namespace {

// The state the tests give the simulated controller: current records that differ from its
// defaults in a few keys.
SimRecords changedRecords() {
    SimRecords records;
    records.mc.l_current_max = simulatorDefaultMcConfig().l_current_max + 10.0f;
    records.mc.si_motor_poles = static_cast<std::uint8_t>(simulatorDefaultMcConfig().si_motor_poles + 2);
    // Within the 0.01 of the write verification: equal, so not a difference.
    records.mc.l_min_vin = simulatorDefaultMcConfig().l_min_vin + 0.005f;
    records.app.app_ppm_conf.ctrl_type = simulatorDefaultAppConfig().app_ppm_conf.ctrl_type + 1;
    return records;
}

// Every row of the tree, depth first.
QModelIndexList allRows(const ParameterModel* model, const QModelIndex& parent = QModelIndex()) {
    QModelIndexList rows;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        rows << index << allRows(model, index);
    }
    return rows;
}

QStringList shownKeys(const ParameterModel* model) {
    QStringList keys;
    for (const QModelIndex& index : allRows(model)) {
        const QString key = index.data(ParameterModel::KeyRole).toString();
        if (!key.isEmpty()) {
            keys << key;
        }
    }
    return keys;
}

QStringList headings(const ParameterModel* model) {
    QStringList texts;
    for (const QModelIndex& index : allRows(model)) {
        if (index.data(ParameterModel::HeadingRole).toBool()) {
            texts << index.data().toString();
        }
    }
    return texts;
}

QStringList keysWith(const ParameterModel* model, int role) {
    QStringList keys;
    for (const QModelIndex& index : allRows(model)) {
        if (index.data(role).toBool()) {
            keys << index.data(ParameterModel::KeyRole).toString();
        }
    }
    return keys;
}

QModelIndex cell(const ParameterModel* model, RecordKind record, const char* key, int column) {
    return model->indexOf(record, QString::fromLatin1(key), column);
}

QString text(const ParameterModel* model, RecordKind record, const char* key, int column) {
    return cell(model, record, key, column).data().toString();
}

QColor background(const QModelIndex& index) {
    const QVariant brush = index.data(Qt::BackgroundRole);
    return brush.isValid() ? brush.value<QBrush>().color() : QColor();
}

} // namespace

class ParameterViewTest : public QObject {
    Q_OBJECT

private:
    // Boxes caught, file dialogs answered, a scratch folder that is also where backups go, and
    // the log (the byte-level trace of the advanced mode included) kept off the console.
    std::unique_ptr<LoaderFixture> fixture_;
    MessageBoxCatcher* boxes_ = nullptr;
    FileAnswers* files_ = nullptr;
    TempDir* dir_ = nullptr;
    std::unique_ptr<SimBackend> sim_;
    std::unique_ptr<MainWindow> window_;

    std::string statePath() const { return dir_->file("device.state"); }
    std::string backupFolder() const {
        return (std::filesystem::path(dir_->file("data")) / "varko5" / "backups").string();
    }

    // A window over one simulated controller that holds records; faults as in a scenario.
    varko5ConfigWidget* start(const SimRecords& records, const char* faults = "") {
        if (!saveSimState(statePath(), records)) {
            return nullptr;
        }
        QByteArray scenario = "devices=1;state=" + QByteArray::fromStdString(statePath());
        if (*faults != '\0') {
            scenario += ";" + QByteArray(faults);
        }
        sim_ = std::make_unique<SimBackend>(scenario.toStdString());
        window_ = std::make_unique<MainWindow>(*sim_);
        // Each panel identifies its controller in its worker.
        if (!waitIdle(*window_)) {
            return nullptr;
        }
        return panelAt(*window_, 0);
    }

    // Presses Parameters and waits for the view to have read the controller.
    ParameterView* open(varko5ConfigWidget* panel, bool expectLoaded = true) {
        QPushButton* parameters = button(panel, "parameters_PushButton");
        if (parameters == nullptr || !parameters->isEnabled()) {
            return nullptr;
        }
        parameters->click();
        ParameterView* view = panel->parameterView();
        if (view == nullptr) {
            return nullptr;
        }
        QSignalSpy loaded(view, &ParameterView::loaded);
        if (loaded.isEmpty() && !loaded.wait(5000)) {
            return nullptr;
        }
        if (loaded.first().first().toBool() != expectLoaded) {
            return nullptr;
        }
        return view;
    }

    SimRecords controllerHolds() const {
        SimRecords records;
        loadSimState(statePath(), records);
        return records;
    }

    static QPushButton* viewButton(ParameterView* view, const char* name) {
        return view->findChild<QPushButton*>(QString::fromLatin1(name));
    }

    static bool applyAndWait(ParameterView* view) {
        QSignalSpy applied(view, &ParameterView::applied);
        viewButton(view, "applyButton")->click();
        return applied.wait(5000) || !applied.isEmpty();
    }

    static QString statusOf(ParameterView* view) {
        return view->findChild<QLabel*>(QStringLiteral("statusLabel"))->text();
    }

private slots:
    void init() {
        fixture_ = std::make_unique<LoaderFixture>();
        boxes_ = &fixture_->boxes;
        files_ = &fixture_->files;
        dir_ = &fixture_->dir;
        simulatorForgetRecords();
    }
    void cleanup() {
        // The window and its workers go before the folder and the answers they may still use.
        window_.reset();
        sim_.reset();
        fixture_.reset();
    }

    void theButtonOpensTheViewInBothModes_data() {
        QTest::addColumn<bool>("advanced");
        QTest::newRow("basic") << false;
        QTest::newRow("advanced") << true;
    }
    void theButtonOpensTheViewInBothModes() {
        QFETCH(bool, advanced);
        const ScopedEnv mode("VARKO5_ADVANCED", advanced ? std::optional<QByteArray>("1") : std::nullopt);
        varko5ConfigWidget* panel = start(SimRecords{});
        QVERIFY(panel != nullptr);
        QPushButton* parameters = button(panel, "parameters_PushButton");
        QVERIFY(parameters != nullptr);
        QCOMPARE(parameters->text(), QStringLiteral("Parameters"));
        QVERIFY(parameters->isVisibleTo(panel));
        ParameterView* view = open(panel);
        QVERIFY(view != nullptr);
        QVERIFY(view->isVisible());
        // A second press brings the same view forward.
        parameters->click();
        QCOMPARE(panel->parameterView(), view);
        QVERIFY(boxes_->boxes().empty());
    }

    void aControllerWithOtherFirmwareShowsItsParametersButTakesNone() {
        sim_ = std::make_unique<SimBackend>("devices=1;fw=5.1");
        window_ = std::make_unique<MainWindow>(*sim_);
        QVERIFY(waitIdle(*window_));
        varko5ConfigWidget* panel = panelAt(*window_, 0);
        QVERIFY(panel != nullptr);
        QVERIFY(!button(panel, "getLpfp")->isEnabled());
        // Reading is harmless; only writing is gated.
        QVERIFY(button(panel, "parameters_PushButton")->isEnabled());
        ParameterView* view = open(panel);
        QVERIFY(view != nullptr);
        QCOMPARE(shownKeys(view->model()).size(), 149 + 157);
        QVERIFY(!viewButton(view, "applyButton")->isEnabled());
        QCOMPARE(viewButton(view, "applyButton")->toolTip(),
                 QStringLiteral("This application only works with FW version 5.2"));
    }

    void theViewIsNamedBySerialAndLeavesThePanelsUsable() {
        sim_ = std::make_unique<SimBackend>("devices=2");
        window_ = std::make_unique<MainWindow>(*sim_);
        QVERIFY(waitIdle(*window_));
        varko5ConfigWidget* first = panelAt(*window_, 0);
        varko5ConfigWidget* second = panelAt(*window_, 1);
        ParameterView* view = open(first);
        QVERIFY(view != nullptr);
        // Two bridges of the same kind share description and may share chip identifiers; the
        // serial number tells them apart.
        QCOMPARE(view->windowTitle(), QStringLiteral("Parameters - VK5SIM0001 - Varko 5 Bridge (simulated)"));
        QCOMPARE(view->windowModality(), Qt::NonModal);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        // The other panel works meanwhile.
        files_->answer(dir_->file("second.lpfp"));
        QVERIFY(clickAndWait(second, "getLpfp"));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("SUCCESS"));
        QCOMPARE(boxes_->boxes()[0].modality, Qt::NonModal);
    }

    void loadingShowsEveryKeyOfBothRecordsGrouped() {
        const SimRecords records = changedRecords();
        ParameterView* view = open(start(records));
        QVERIFY(view != nullptr);
        const ParameterModel* model = view->model();

        const QStringList keys = shownKeys(model);
        QCOMPARE(keys.size(), 149 + 157);
        QStringList expected;
        for (const ParameterEntry& entry : parameterEntries()) {
            expected << QString::fromLatin1(entry.key.data(), static_cast<int>(entry.key.size()));
        }
        QCOMPARE(keys, expected);
        // Each record, and under it each group of what its keys configure, with the number of
        // keys it holds.
        QCOMPARE(
            headings(model),
            (QStringList{
                QStringLiteral("APPConfiguration (149)"), QStringLiteral("Identity, time-out and input (6)"),
                QStringLiteral("CAN bus and UART (8)"), QStringLiteral("Pulse input (app_ppm_conf) (19)"),
                QStringLiteral("Analog input (app_adc_conf) (22)"),
                QStringLiteral("Stick remote (app_chuk_conf) (14)"),
                QStringLiteral("Radio link (app_nrf_conf) (10)"),
                QStringLiteral("Self-balancing (app_balance_conf) (39)"),
                QStringLiteral("Pedal assist (app_pas_conf) (11)"),
                QStringLiteral("Inertial sensor (imu_conf) (20)"), QStringLiteral("MCConfiguration (157)"),
                QStringLiteral("Limits (31)"), QStringLiteral("Sensors and commutation (44)"),
                QStringLiteral("Field-oriented control (36)"),
                QStringLiteral("Current, speed and position loops (23)"),
                QStringLiteral("Battery management (10)"), QStringLiteral("Setup (13)")}));
        // A key sits under its group's heading, the heading under its record's.
        const QModelIndex ppm = cell(model, RecordKind::App, "app_ppm_conf.ctrl_type", 0);
        QCOMPARE(ppm.parent().data().toString(), QStringLiteral("Pulse input (app_ppm_conf) (19)"));
        QCOMPARE(ppm.parent().parent().data().toString(), QStringLiteral("APPConfiguration (149)"));
        QVERIFY(!ppm.parent().parent().parent().isValid());
        QCOMPARE(model->rowCount(ppm), 0);
        QCOMPARE(cell(model, RecordKind::Mc, "foc_encoder_ratio", 0).parent().data().toString(),
                 QStringLiteral("Sensors and commutation (44)"));

        // Values as their XML text, current and default.
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                 QString::fromStdString(fieldXmlText(*mcXmlOrder()[0], records.mc)));
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::DefaultColumn),
                 QString::fromStdString(fieldXmlText(*mcXmlOrder()[0], simulatorDefaultMcConfig())));
        QCOMPARE(text(model, RecordKind::App, "app_ppm_conf.ctrl_type", ParameterModel::CurrentColumn),
                 QString::number(records.app.app_ppm_conf.ctrl_type));
        for (const ParameterEntry& entry : parameterEntries()) {
            if (!entry.stored) {
                continue;
            }
            LpfpConfiguration current{records.app, records.mc};
            const QModelIndex index = model->indexOf(
                entry.record, QString::fromLatin1(entry.key.data(), static_cast<int>(entry.key.size())),
                ParameterModel::CurrentColumn);
            QCOMPARE(index.data().toString(), QString::fromStdString(entryText(entry, current)));
        }

        // The lo_ keys are shown as not stored and cannot be edited.
        const QModelIndex lo = cell(model, RecordKind::Mc, "lo_current_max", ParameterModel::CurrentColumn);
        QCOMPARE(lo.data().toString(), QStringLiteral("not stored"));
        QVERIFY(!(model->flags(lo) & Qt::ItemIsEditable));
        QVERIFY(!lo.data(ParameterModel::StoredRole).toBool());
        // Booleans are check boxes; numbers are edited as text.
        const QModelIndex flag =
            cell(model, RecordKind::Mc, "m_invert_direction", ParameterModel::CurrentColumn);
        QVERIFY(model->flags(flag) & Qt::ItemIsUserCheckable);
        QVERIFY(!(model->flags(flag) & Qt::ItemIsEditable));
        QVERIFY(model->flags(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn)) &
                Qt::ItemIsEditable);
        QVERIFY(!(model->flags(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::DefaultColumn)) &
                  Qt::ItemIsEditable));
        QVERIFY(!model->hasEdits());
        QVERIFY(!viewButton(view, "applyButton")->isEnabled());
    }

    void groupsCollapseAndStayCollapsedWhileTheRowsChange() {
        ParameterView* view = open(start(changedRecords()));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        auto* tree = view->findChild<QTreeView*>(QStringLiteral("parameterTable"));
        QVERIFY(tree != nullptr);
        const auto headingRows = [model] {
            QModelIndexList rows;
            for (const QModelIndex& index : allRows(model)) {
                if (index.data(ParameterModel::HeadingRole).toBool()) {
                    rows << index;
                }
            }
            return rows;
        };
        const auto collapsedTitles = [&] {
            QStringList titles;
            for (const QModelIndex& index : headingRows()) {
                if (!tree->isExpanded(index)) {
                    titles << index.data().toString().section(QLatin1Char(' '), 0, 0);
                }
            }
            return titles;
        };
        // Everything is open at first; headings span the row.
        QCOMPARE(headingRows().size(), 2 + 9 + 6);
        for (const QModelIndex& index : headingRows()) {
            QVERIFY(tree->isExpanded(index));
            QVERIFY(tree->isFirstColumnSpanned(index.row(), index.parent()));
        }
        const QModelIndex limits = cell(model, RecordKind::Mc, "l_current_max", 0).parent();
        tree->collapse(limits);
        QCOMPARE(collapsedTitles(), QStringList{QStringLiteral("Limits")});

        // An edit, the differences switch (new rows) and back: the group stays as the user left it.
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn),
                               QStringLiteral("20")));
        QCOMPARE(collapsedTitles(), QStringList{QStringLiteral("Limits")});
        auto* only = view->findChild<QCheckBox*>(QStringLiteral("onlyDifferencesCheckBox"));
        only->setChecked(true);
        QCOMPARE(collapsedTitles(), QStringList{QStringLiteral("Limits")});
        QCOMPARE(cell(model, RecordKind::Mc, "l_current_max", 0).parent().data().toString(),
                 QStringLiteral("Limits (1)"));
        only->setChecked(false);
        QCOMPARE(collapsedTitles(), QStringList{QStringLiteral("Limits")});

        // A search opens every group, so that what it finds can be seen.
        auto* filter = view->findChild<QLineEdit*>(QStringLiteral("filterLineEdit"));
        filter->setText(QStringLiteral("current_max"));
        QVERIFY(collapsedTitles().isEmpty());
        filter->clear();

        // Collapse all closes the groups and leaves the records open; Expand all opens all.
        viewButton(view, "collapseAllButton")->click();
        for (const QModelIndex& index : headingRows()) {
            QCOMPARE(tree->isExpanded(index), !index.parent().isValid());
        }
        viewButton(view, "expandAllButton")->click();
        QVERIFY(collapsedTitles().isEmpty());
        tree->collapse(cell(model, RecordKind::App, "controller_id", 0).parent().parent());
        QCOMPARE(collapsedTitles(), QStringList{QStringLiteral("APPConfiguration")});
        filter->setText(QStringLiteral("x"));
        filter->clear();
        QVERIFY(collapsedTitles().isEmpty());
    }

    void columnsSortTheKeysOfEachGroup() {
        SimRecords records = changedRecords();
        records.mc.l_current_max = 9000000.0f; // beyond every other limit
        records.mc.l_current_min = -9000000.0f;
        ParameterView* view = open(start(records));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        auto* tree = view->findChild<QTreeView*>(QStringLiteral("parameterTable"));
        QHeaderView* header = tree->header();
        const auto clickTitle = [header](int column) {
            QTest::mouseClick(
                header->viewport(), Qt::LeftButton, Qt::NoModifier,
                QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                       header->height() / 2));
        };
        const auto keysOfGroup = [model](const char* member) {
            const QModelIndex group = cell(model, RecordKind::Mc, member, 0).parent();
            QStringList keys;
            for (int row = 0; row < model->rowCount(group); ++row) {
                keys << model->index(row, 0, group).data(ParameterModel::KeyRole).toString();
            }
            return keys;
        };
        const auto valuesOfGroup = [model](const char* member, int column) {
            const QModelIndex group = cell(model, RecordKind::Mc, member, 0).parent();
            QStringList values;
            for (int row = 0; row < model->rowCount(group); ++row) {
                values << model->index(row, column, group).data().toString();
            }
            return values;
        };
        const QStringList documentOrder = keysOfGroup("l_current_max");
        QCOMPARE(documentOrder.first(), QStringLiteral("l_current_max"));
        const QStringList headingsBefore = headings(model);
        // The user's place in the table follows its row through a sort.
        const QModelIndex poles = cell(model, RecordKind::Mc, "si_motor_poles", 0);
        tree->setCurrentIndex(poles);
        tree->collapse(cell(model, RecordKind::App, "controller_id", 0).parent());

        clickTitle(ParameterModel::KeyColumn);
        QCOMPARE(model->sortColumn(), int(ParameterModel::KeyColumn));
        QStringList ascending = documentOrder;
        ascending.sort();
        QCOMPARE(keysOfGroup("l_current_max"), ascending);
        QCOMPARE(headings(model), headingsBefore); // groups keep their place
        QCOMPARE(header->sortIndicatorSection(), int(ParameterModel::KeyColumn));
        QCOMPARE(tree->currentIndex().data(ParameterModel::KeyRole).toString(),
                 QStringLiteral("si_motor_poles"));
        QVERIFY(!tree->isExpanded(cell(model, RecordKind::App, "controller_id", 0).parent()));

        clickTitle(ParameterModel::KeyColumn);
        QCOMPARE(model->sortOrder(), Qt::DescendingOrder);
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(keysOfGroup("l_current_max"), descending);

        clickTitle(ParameterModel::KeyColumn);
        QCOMPARE(model->sortColumn(), -1);
        QCOMPARE(keysOfGroup("l_current_max"), documentOrder);
        QCOMPARE(header->sortIndicatorSection(), -1);

        // By value: numbers by their value, not their text; keys without one go last.
        clickTitle(ParameterModel::CurrentColumn);
        QStringList values = valuesOfGroup("l_current_max", ParameterModel::CurrentColumn);
        QCOMPARE(values.first(), QStringLiteral("-9000000"));
        QCOMPARE(values.last(), QStringLiteral("not stored"));
        QCOMPARE(values.count(QStringLiteral("not stored")), 6);
        for (int i = 1; i < values.size() - 6; ++i) {
            QVERIFY2(values[i - 1].toDouble() <= values[i].toDouble(),
                     qPrintable(values.join(QLatin1Char(' '))));
        }
        QCOMPARE(keysOfGroup("l_current_max").indexOf(QStringLiteral("l_current_max")), values.size() - 7);
        clickTitle(ParameterModel::CurrentColumn);
        values = valuesOfGroup("l_current_max", ParameterModel::CurrentColumn);
        QCOMPARE(values.first(), QStringLiteral("9000000"));
        QCOMPARE(values.last(), QStringLiteral("not stored"));
        for (int i = 1; i < values.size() - 6; ++i) {
            QVERIFY(values[i - 1].toDouble() >= values[i].toDouble());
        }
        // An edit takes its place in the order.
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "l_current_min", ParameterModel::CurrentColumn),
                               QStringLiteral("9500000")));
        QCOMPARE(keysOfGroup("l_current_max").first(), QStringLiteral("l_current_min"));
        // A NaN, which a controller's bytes can hold, has no place among the numbers: last.
        {
            ParameterModel alone;
            ParameterSnapshot snapshot{{records.app, records.mc},
                                       {simulatorDefaultAppConfig(), simulatorDefaultMcConfig()}};
            snapshot.current.mc.l_current_max = std::numeric_limits<float>::quiet_NaN();
            snapshot.current.mc.l_max_vin = -std::numeric_limits<float>::quiet_NaN();
            snapshot.current.mc.l_min_vin = std::numeric_limits<float>::infinity();
            alone.setSnapshot(snapshot, false);
            for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                alone.sort(ParameterModel::CurrentColumn, order);
                const QModelIndex group = alone.indexOf(RecordKind::Mc, QStringLiteral("l_min_vin")).parent();
                QStringList keys;
                for (int row = 0; row < alone.rowCount(group); ++row) {
                    keys << alone.index(row, 0, group).data(ParameterModel::KeyRole).toString();
                }
                QCOMPARE(keys.size(), 31);
                QCOMPARE(keys.indexOf(QStringLiteral("l_min_vin")), order == Qt::AscendingOrder ? 22 : 0);
                QVERIFY(keys.indexOf(QStringLiteral("l_current_max")) >= 23);
                QVERIFY(keys.indexOf(QStringLiteral("l_max_vin")) >= 23);
            }
        }
        // The defaults' column sorts by the defaults.
        clickTitle(ParameterModel::DefaultColumn);
        values = valuesOfGroup("l_current_max", ParameterModel::DefaultColumn);
        for (int i = 1; i < values.size() - 6; ++i) {
            QVERIFY(values[i - 1].toDouble() <= values[i].toDouble());
        }
        QCOMPARE(shownKeys(model).size(), 149 + 157);
    }

    void theTreeKeepsTheRulesOfAnItemModelThroughEveryChange() {
        // Qt's own checker looks at parents, rows and persistent indexes after every signal.
        ParameterModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const SimRecords records = changedRecords();
        const ParameterSnapshot snapshot{{records.app, records.mc},
                                         {simulatorDefaultAppConfig(), simulatorDefaultMcConfig()}};
        model.setSnapshot(snapshot, false);
        QPersistentModelIndex poles = model.indexOf(RecordKind::Mc, QStringLiteral("si_motor_poles"), 1);
        QVERIFY(poles.isValid());
        model.sort(ParameterModel::CurrentColumn, Qt::DescendingOrder);
        QCOMPARE(poles.data(ParameterModel::KeyRole).toString(), QStringLiteral("si_motor_poles"));
        QCOMPARE(poles.column(), 1);
        QVERIFY(model.setData(model.indexOf(RecordKind::Mc, QStringLiteral("l_current_max"), 1),
                              QStringLiteral("-3")));
        model.setFilterText(QStringLiteral("current"));
        QVERIFY(!poles.isValid()); // its row went with the new rows
        model.setOnlyDifferences(true);
        QCOMPARE(shownKeys(&model), QStringList{QStringLiteral("l_current_max")});
        model.setFilterText(QString());
        model.sort(ParameterModel::KeyColumn, Qt::AscendingOrder);
        MCConfiguration fileMc = simulatorDefaultMcConfig();
        fileMc.foc_f_sw = 12345.0f;
        model.setFile({simulatorDefaultAppConfig(), fileMc}, false, true, QStringLiteral("file.xml"));
        model.sort(ParameterModel::FileColumn, Qt::AscendingOrder);
        model.takeFileValues();
        model.undo();
        model.undo();
        model.setOnlyDifferences(false);
        model.sort(-1);
        QCOMPARE(shownKeys(&model).size(), 149 + 157);
        model.resetAllToDefault();
        model.discardEdits();
        model.setSnapshot(snapshot, true);
        QVERIFY(!model.hasEdits());
    }

    void currentValuesThatDifferFromTheDefaultsAreHighlighted() {
        ParameterView* view = open(start(changedRecords()));
        QVERIFY(view != nullptr);
        const ParameterModel* model = view->model();
        // l_min_vin is 0.005 off its default: equal under the verification's rule.
        QCOMPARE(keysWith(model, ParameterModel::DiffersFromDefaultRole),
                 (QStringList{QStringLiteral("app_ppm_conf.ctrl_type"), QStringLiteral("l_current_max"),
                              QStringLiteral("si_motor_poles")}));
        QCOMPARE(background(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn)),
                 ParameterModel::defaultDifferenceColour());
        QCOMPARE(background(cell(model, RecordKind::Mc, "l_min_vin", ParameterModel::CurrentColumn)),
                 QColor());
        QCOMPARE(background(cell(model, RecordKind::Mc, "l_max_vin", ParameterModel::CurrentColumn)),
                 QColor());
        QVERIFY(keysWith(model, ParameterModel::DiffersFromFileRole).isEmpty());
        QVERIFY(keysWith(model, ParameterModel::EditedRole).isEmpty());
    }

    void aFileIsComparedWithTheCurrentValues() {
        const SimRecords records = changedRecords();
        ParameterView* view = open(start(records));
        QVERIFY(view != nullptr);
        const ParameterModel* model = view->model();
        auto* table = view->findChild<QTreeView*>(QStringLiteral("parameterTable"));
        QVERIFY(table->isColumnHidden(ParameterModel::FileColumn));

        // A motor document: a key that differs, one within 0.01, one equal; the keys it leaves
        // out are those Update would send, the defaults.
        const std::string xml = dir_->file("motor.xml");
        writeFileBytes(
            xml,
            "<MCConfiguration>\n"
            "    <l_current_max>" +
                QString::number(static_cast<double>(records.mc.l_current_max) + 1.0, 'g', 9).toStdString() +
                "</l_current_max>\n"
                "    <l_max_vin>" +
                QString::number(static_cast<double>(records.mc.l_max_vin) + 0.005, 'g', 9).toStdString() +
                "</l_max_vin>\n"
                "    <si_motor_poles>" +
                std::to_string(records.mc.si_motor_poles) +
                "</si_motor_poles>\n"
                "</MCConfiguration>\n");
        files_->answer(xml);
        viewButton(view, "compareFileButton")->click();
        QVERIFY(boxes_->boxes().empty());
        QVERIFY(!table->isColumnHidden(ParameterModel::FileColumn));
        QCOMPARE(model->headerData(ParameterModel::FileColumn, Qt::Horizontal).toString(),
                 QStringLiteral("File: motor.xml"));
        QCOMPARE(files_->requests().back().kind, FileDialogKind::Open);
        // l_current_max differs from the file; l_max_vin is within 0.01; si_motor_poles is the
        // same; the keys left out hold the defaults, so the current values that differ from the
        // defaults (l_min_vin only by 0.005) differ from the file too.
        QCOMPARE(keysWith(model, ParameterModel::DiffersFromFileRole),
                 QStringList{QStringLiteral("l_current_max")});
        QCOMPARE(background(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::FileColumn)),
                 ParameterModel::fileDifferenceColour());
        QCOMPARE(text(model, RecordKind::Mc, "l_battery_cut_end", ParameterModel::FileColumn),
                 text(model, RecordKind::Mc, "l_battery_cut_end", ParameterModel::DefaultColumn));
        // The document holds no application record: those cells stay empty.
        QVERIFY(!cell(model, RecordKind::App, "controller_id", ParameterModel::FileColumn).data().isValid());

        // An LPFP file gives both records.
        LpfpConfiguration pair{records.app, records.mc};
        pair.app.controller_id = static_cast<std::uint8_t>(records.app.controller_id + 1);
        const std::string lpfp = dir_->file("both.lpfp");
        writeLpfpFile(pair, lpfp);
        files_->answer(lpfp);
        viewButton(view, "compareFileButton")->click();
        QCOMPARE(keysWith(model, ParameterModel::DiffersFromFileRole),
                 QStringList{QStringLiteral("controller_id")});

        // A damaged file is refused with its reason and the comparison stays.
        const std::string broken = dir_->file("broken.lpfp");
        std::string bytes = readFileBytes(lpfp);
        bytes.back() = bytes.back() == 'A' ? 'B' : 'A';
        writeFileBytes(broken, bytes);
        files_->answer(broken);
        viewButton(view, "compareFileButton")->click();
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("Error"));
        QVERIFY(boxes_->boxes()[0].text.startsWith(QStringLiteral("Checksum Fail")));
        QCOMPARE(keysWith(model, ParameterModel::DiffersFromFileRole),
                 QStringList{QStringLiteral("controller_id")});

        // So is a document of neither record.
        boxes_->clear();
        const std::string other = dir_->file("other.xml");
        writeFileBytes(other, "<Something/>\n");
        files_->answer(other);
        viewButton(view, "compareFileButton")->click();
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].text, QStringLiteral("Not a valid configuration file"));
    }

    void theFilterAndTheDifferencesSwitchChooseTheRows() {
        ParameterView* view = open(start(changedRecords()));
        QVERIFY(view != nullptr);
        const ParameterModel* model = view->model();
        auto* filter = view->findChild<QLineEdit*>(QStringLiteral("filterLineEdit"));
        auto* only = view->findChild<QCheckBox*>(QStringLiteral("onlyDifferencesCheckBox"));

        QTest::keyClicks(filter, QStringLiteral("HALL_TABLE__7"));
        QCOMPARE(shownKeys(model),
                 (QStringList{QStringLiteral("foc_hall_table__7"), QStringLiteral("hall_table__7")}));
        QCOMPARE(headings(model), (QStringList{QStringLiteral("MCConfiguration (2)"),
                                               QStringLiteral("Sensors and commutation (2)")}));

        filter->clear();
        only->setChecked(true);
        QCOMPARE(shownKeys(model),
                 (QStringList{QStringLiteral("app_ppm_conf.ctrl_type"), QStringLiteral("l_current_max"),
                              QStringLiteral("si_motor_poles")}));
        filter->setText(QStringLiteral("poles"));
        QCOMPARE(shownKeys(model), QStringList{QStringLiteral("si_motor_poles")});
        QCOMPARE(headings(model),
                 (QStringList{QStringLiteral("MCConfiguration (1)"), QStringLiteral("Setup (1)")}));
        filter->setText(QStringLiteral("no such key"));
        QCOMPARE(model->rowCount(), 0);

        // An edit is a difference of its own.
        filter->clear();
        ParameterModel* editable = view->model();
        only->setChecked(false);
        QVERIFY(editable->setData(cell(editable, RecordKind::Mc, "foc_f_sw", ParameterModel::CurrentColumn),
                                  QStringLiteral("30000")));
        only->setChecked(true);
        QVERIFY(shownKeys(model).contains(QStringLiteral("foc_f_sw")));
        only->setChecked(false);
        QCOMPARE(shownKeys(model).size(), 149 + 157);
    }

    void editsAreAppliedVerifiedAndReadAgain() {
        ParameterView* view = open(start(changedRecords()));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        auto* table = view->findChild<QTreeView*>(QStringLiteral("parameterTable"));

        // Typed into the editor of the current column.
        const QModelIndex current =
            cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn);
        table->setCurrentIndex(current);
        table->edit(current);
        auto* editor = table->findChild<QLineEdit*>(QStringLiteral("parameterEditor"));
        QVERIFY(editor != nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("43.5"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                     QStringLiteral("43.5"));
        // A check box, and a key of the other record.
        QVERIFY(
            model->setData(cell(model, RecordKind::Mc, "m_invert_direction", ParameterModel::CurrentColumn),
                           Qt::Checked, Qt::CheckStateRole));
        QVERIFY(model->setData(cell(model, RecordKind::App, "timeout_msec", ParameterModel::CurrentColumn),
                               QStringLiteral("4321")));
        QCOMPARE(keysWith(model, ParameterModel::EditedRole),
                 (QStringList{QStringLiteral("timeout_msec"), QStringLiteral("l_current_max"),
                              QStringLiteral("m_invert_direction")}));
        QCOMPARE(background(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn)),
                 ParameterModel::editedColour());
        QVERIFY(viewButton(view, "applyButton")->isEnabled());

        QVERIFY(applyAndWait(view));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        const ShownBox& box = boxes_->boxes()[0];
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(box.title, QStringLiteral("SUCCESS"));
        QCOMPARE(box.parent, static_cast<QWidget*>(view));
        const QStringList lines = box.text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Configuration updated successfully"));
        QVERIFY2(
            lines[1].startsWith(QStringLiteral("Backup saved to: ") + QString::fromStdString(backupFolder())),
            qPrintable(lines[1]));

        // The controller holds the edits, every other value as it was.
        SimRecords expected = changedRecords();
        expected.mc.l_current_max = 43.5f;
        expected.mc.m_invert_direction = true;
        expected.app.timeout_msec = 4321;
        const SimRecords held = controllerHolds();
        QCOMPARE(QString::fromStdString(mcConfigToXml(held.mc)),
                 QString::fromStdString(mcConfigToXml(expected.mc)));
        QCOMPARE(QString::fromStdString(appConfigToXml(held.app)),
                 QString::fromStdString(appConfigToXml(expected.app)));
        // The backup holds the records from before the apply.
        const auto backup = std::filesystem::path(lines[1].mid(17).toStdString());
        LpfpConfiguration saved{};
        std::uint64_t keys = 0;
        QVERIFY(readLpfpFile(saved, backup.string(), keys));
        QCOMPARE(saved.mc.l_current_max, changedRecords().mc.l_current_max);

        // Read again: nothing is marked, the table shows what the controller holds.
        QVERIFY(!model->hasEdits());
        QVERIFY(keysWith(model, ParameterModel::EditedRole).isEmpty());
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                 QStringLiteral("43.5"));
        QCOMPARE(model->snapshot().current.app.timeout_msec, 4321u);
        QVERIFY(!viewButton(view, "applyButton")->isEnabled());
    }

    void onlyTheEditedRecordIsSent() {
        ParameterView* view = open(start(SimRecords{}, "fault=set_refused;fault_on=16"));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        // The application set is refused by the controller, but only the motor record changed.
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn),
                               QStringLiteral("20")));
        QVERIFY(model->mcEdited());
        QVERIFY(!model->appEdited());
        QVERIFY(applyAndWait(view));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("SUCCESS"));
        QCOMPARE(controllerHolds().mc.si_motor_poles, std::uint8_t{20});
    }

    void valuesTheFieldCannotHoldAreRefused() {
        ParameterView* view = open(start(SimRecords{}));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        const QString poles = text(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn);

        struct Case {
            RecordKind record;
            const char* key;
            const char* text;
        };
        const Case refused[] = {
            {RecordKind::Mc, "si_motor_poles", "300"},                 // one byte
            {RecordKind::Mc, "si_motor_poles", "-1"},                  //
            {RecordKind::Mc, "motor_type", "256"},                     // an enumeration sent as one byte
            {RecordKind::Mc, "l_current_max", "abc"},                  // not a number
            {RecordKind::Mc, "l_current_max", "1e39"},                 // beyond a float
            {RecordKind::Mc, "foc_sl_openloop_time", "400"},           // beyond its float16 x100
            {RecordKind::App, "app_pas_conf.pedal_rpm_start", "0.15"}, // one decimal on the wire
            {RecordKind::App, "send_can_status_rate_hz", "70000"},     // uint32 sent as uint16
            {RecordKind::Mc, "lo_current_max", "1"},                   // not stored by the controller
        };
        for (const Case& c : refused) {
            const QModelIndex index = cell(model, c.record, c.key, ParameterModel::CurrentColumn);
            const QString before = index.data().toString();
            QVERIFY2(!model->setData(index, QString::fromLatin1(c.text)), c.key);
            QCOMPARE(index.data().toString(), before);
        }
        QVERIFY(!model->hasEdits());

        // In the editor: letters cannot be typed at all, an out-of-range number is kept from
        // the table and said so.
        auto* table = view->findChild<QTreeView*>(QStringLiteral("parameterTable"));
        const QModelIndex index =
            cell(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn);
        table->setCurrentIndex(index);
        table->edit(index);
        auto* editor = table->findChild<QLineEdit*>(QStringLiteral("parameterEditor"));
        QVERIFY(editor != nullptr);
        editor->clear();
        QTest::keyClicks(editor, QStringLiteral("1x4"));
        QCOMPARE(editor->text(), QStringLiteral("14"));
        editor->clear();
        QTest::keyClicks(editor, QStringLiteral("300"));
        QCOMPARE(editor->text(), QStringLiteral("300"));
        QVERIFY(!editor->hasAcceptableInput());
        // While it is typed, the status line (not only a tooltip) says what the key takes.
        QCOMPARE(
            statusOf(view),
            QStringLiteral("si_motor_poles cannot hold \"300\" (allowed: a whole number from 0 to 255)."));
        // Return does not take it, and says so where the user is looking.
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // a commit would have been queued
        QCOMPARE(text(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn), poles);
        QCOMPARE(
            statusOf(view),
            QStringLiteral("si_motor_poles cannot hold \"300\" (allowed: a whole number from 0 to 255); its "
                           "value is unchanged."));
        view->findChild<QLabel*>(QStringLiteral("statusLabel"))->clear();
        // Leaving the editor hands it over, and it is refused.
        auto* delegate =
            qobject_cast<ParameterDelegate*>(table->itemDelegateForColumn(ParameterModel::CurrentColumn));
        QVERIFY(delegate != nullptr);
        delegate->setModelData(editor, model, index);
        QCOMPARE(text(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn), poles);
        QCOMPARE(
            statusOf(view),
            QStringLiteral("si_motor_poles cannot hold \"300\" (allowed: a whole number from 0 to 255); its "
                           "value is unchanged."));
        QVERIFY(!model->hasEdits());

        int position = 0;
        QString typed = QStringLiteral("-");
        ParameterValidator validator(*model->entryAt(index), nullptr);
        QCOMPARE(validator.validate(typed, position), QValidator::Intermediate);
        typed = QStringLiteral("14");
        QCOMPARE(validator.validate(typed, position), QValidator::Acceptable);
        typed = QStringLiteral("1.5");
        QCOMPARE(validator.validate(typed, position), QValidator::Invalid);
    }

    void aReadBackThatDiffersIsReportedWithItsFields() {
        ParameterView* view = open(start(SimRecords{}, "fault=change_on_write"));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                               QStringLiteral("43.5")));
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn),
                               QStringLiteral("20")));
        QSignalSpy applied(view, &ParameterView::applied);
        viewButton(view, "applyButton")->click();
        QVERIFY(applied.wait(5000) || !applied.isEmpty());
        QCOMPARE(applied.first().first().toBool(), false);

        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        const ShownBox& box = boxes_->boxes()[0];
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, QStringLiteral("Error"));
        const QStringList lines = box.text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Configuration Validation Failed."));
        QVERIFY(lines[1].startsWith(QStringLiteral("Backup saved to: ")));
        QCOMPARE(lines[2], QStringLiteral("MC Configuration: the read-back copy differs in 1 field:"));
        QCOMPARE(lines[3], QStringLiteral("  l_current_max: sent 43.5, read back 44.5"));

        // Read again: the key the controller did not keep stays marked, the one it kept does not.
        QCOMPARE(model->snapshot().current.mc.l_current_max, 44.5f);
        QCOMPARE(keysWith(model, ParameterModel::EditedRole), QStringList{QStringLiteral("l_current_max")});
        // The edit stays, and the value the controller holds is shown beside it, not only in a
        // tooltip.
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                 QStringLiteral("43.5  (controller: 44.5)"));
        QCOMPARE(
            cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn).data(Qt::EditRole),
            QVariant(QStringLiteral("43.5")));
        QVERIFY(viewButton(view, "applyButton")->isEnabled());
    }

    void editsCanBeTakenBackOneByOneAndTheFilesValuesTaken() {
        ParameterView* view = open(start(changedRecords()));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        QPushButton* undo = viewButton(view, "undoButton");
        QPushButton* take = viewButton(view, "takeFileButton");
        QVERIFY(undo != nullptr && take != nullptr);
        QVERIFY(!undo->isEnabled());
        QVERIFY(!take->isEnabled());
        const QString before = text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn);
        const QString polesBefore =
            text(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn);

        QVERIFY(model->setData(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                               QStringLiteral("12.25")));
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn),
                               QStringLiteral("20")));
        QVERIFY(undo->isEnabled());
        // Newest first, one edit at a time.
        undo->click();
        QCOMPARE(text(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn), polesBefore);
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                 QStringLiteral("12.25"));
        undo->click();
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn), before);
        QVERIFY(!model->hasEdits());
        QVERIFY(!undo->isEnabled());

        // A file's values, after Compare with file, become the edits; undo takes them back whole.
        MCConfiguration fileMc = simulatorDefaultMcConfig();
        fileMc.l_current_max = 33.0f;
        saveMcConfigXml(fileMc, dir_->file("file.mc.xml"));
        files_->answer(dir_->file("file.mc.xml"));
        viewButton(view, "compareFileButton")->click();
        QVERIFY(take->isEnabled());
        take->click();
        QVERIFY(model->mcEdited());
        QVERIFY(!model->appEdited()); // the file holds the motor record only
        QCOMPARE(model->working().mc.l_current_max, 33.0f);
        undo->click();
        QVERIFY(!model->hasEdits());
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn), before);
    }

    void theStatusNoLongerSaysVerifiedOnceThereAreNewEdits() {
        ParameterView* view = open(start(SimRecords{}));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                               QStringLiteral("43.5")));
        QVERIFY(applyAndWait(view));
        QCOMPARE(statusOf(view), QStringLiteral("Applied and verified."));
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                               QStringLiteral("40")));
        QCOMPARE(statusOf(view), QStringLiteral("Edits not applied yet."));
        // Taken back, there is nothing left to apply, and the status no longer says so.
        viewButton(view, "undoButton")->click();
        QVERIFY(!model->hasEdits());
        QCOMPARE(statusOf(view), QString());
    }

    void theSearchFindsValuesToo() {
        ParameterView* view = open(start(SimRecords{}));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                               QStringLiteral("47.125")));
        model->setFilterText(QStringLiteral("47.125"));
        QCOMPARE(shownKeys(model), QStringList{QStringLiteral("l_current_max")});
        model->setFilterText(QStringLiteral("L_CURRENT_MAX"));
        QVERIFY(shownKeys(model).contains(QStringLiteral("l_current_max")));
    }

    void aBackupThatCannotBeWrittenStopsTheApply() {
        ParameterView* view = open(start(SimRecords{}));
        QVERIFY(view != nullptr);
        // The data folder is a file, so no backup folder can be made in it.
        writeFileBytes(dir_->file("data"), "not a folder");
        ParameterModel* model = view->model();
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn),
                               QStringLiteral("20")));
        QVERIFY(applyAndWait(view));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("Error"));
        QVERIFY(boxes_->boxes()[0].text.startsWith(QStringLiteral("Configuration Validation Failed.\n")));
        QCOMPARE(controllerHolds().mc.si_motor_poles, simulatorDefaultMcConfig().si_motor_poles);
        QVERIFY(model->hasEdits());
    }

    void aReadThatFailsIsReported() {
        varko5ConfigWidget* panel = start(SimRecords{}, "fault=bad_crc;fault_on=14");
        QVERIFY(panel != nullptr);
        ParameterView* view = open(panel, false);
        QVERIFY(view != nullptr);
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("Error"));
        QVERIFY(boxes_->boxes()[0].text.startsWith(QStringLiteral("Failed at retrieving the parameters\n")));
        QCOMPARE(view->model()->rowCount(), 0);
        QVERIFY(!viewButton(view, "saveAsButton")->isEnabled());
        QVERIFY(viewButton(view, "reloadButton")->isEnabled());
    }

    void resetToDefaultForOneKeyTheSelectionOrAll() {
        ParameterView* view = open(start(changedRecords()));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        auto* table = view->findChild<QTreeView*>(QStringLiteral("parameterTable"));
        QPushButton* reset = viewButton(view, "resetButton");
        QVERIFY(!reset->isEnabled());

        const auto selectRow = [table](const QModelIndex& index) {
            table->selectionModel()->select(index,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        };
        selectRow(cell(model, RecordKind::Mc, "l_current_max", 0));
        QVERIFY(reset->isEnabled());
        reset->click();
        QCOMPARE(keysWith(model, ParameterModel::EditedRole), QStringList{QStringLiteral("l_current_max")});
        QCOMPARE(text(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                 text(model, RecordKind::Mc, "l_current_max", ParameterModel::DefaultColumn));

        // A selection that takes in a heading and a lo_ key resets only the keys it can.
        const QModelIndex key = cell(model, RecordKind::App, "app_ppm_conf.ctrl_type", 0);
        QVERIFY(model->entryAt(key.parent()) == nullptr);
        selectRow(cell(model, RecordKind::Mc, "lo_current_max", 0));
        for (const QModelIndex& index : {key.parent(), key}) {
            table->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        reset->click();
        QCOMPARE(keysWith(model, ParameterModel::EditedRole),
                 (QStringList{QStringLiteral("app_ppm_conf.ctrl_type"), QStringLiteral("l_current_max")}));

        viewButton(view, "resetAllButton")->click();
        QCOMPARE(keysWith(model, ParameterModel::EditedRole),
                 (QStringList{QStringLiteral("app_ppm_conf.ctrl_type"), QStringLiteral("l_current_max"),
                              QStringLiteral("l_min_vin"), QStringLiteral("si_motor_poles")}));
        QVERIFY(keysWith(model, ParameterModel::DiffersFromDefaultRole).isEmpty());

        viewButton(view, "discardButton")->click();
        QVERIFY(!model->hasEdits());
        QCOMPARE(keysWith(model, ParameterModel::DiffersFromDefaultRole).size(), 3);
    }

    void closingWithEditsAsksFirst() {
        varko5ConfigWidget* panel = start(SimRecords{});
        ParameterView* view = open(panel);
        QVERIFY(view != nullptr);
        QStringList asked;
        bool answer = false;
        view->setAskFunction([&](QWidget* parent, const QString& title, const QString& question) {
            asked << title + QStringLiteral(": ") + question;
            return parent == view && answer;
        });
        // Without edits it closes without a question; with them it asks.
        QVERIFY(view->model()->setData(
            cell(view->model(), RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn),
            QStringLiteral("20")));
        QVERIFY(!view->close());
        QVERIFY(view->isVisible());
        viewButton(view, "closeButton")->click();
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(view->isVisible());
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[0],
                 QStringLiteral("Parameters: The edits have not been applied. Close the parameters and "
                                "discard them?"));

        answer = true;
        const QPointer<ParameterView> guard(view);
        QVERIFY(view->close());
        QCOMPARE(asked.size(), 4);
        QTRY_VERIFY(guard.isNull()); // deleted on close
        QVERIFY(panel->parameterView() == nullptr);
        QCOMPARE(controllerHolds().mc.si_motor_poles, simulatorDefaultMcConfig().si_motor_poles);

        // Without edits nothing is asked.
        ParameterView* again = open(panel);
        QVERIFY(again != nullptr);
        again->setAskFunction([&](QWidget*, const QString&, const QString&) {
            asked << QStringLiteral("unexpected");
            return false;
        });
        QVERIFY(again->close());
        QCOMPARE(asked.size(), 4);
    }

    void duringAnExchangeTheViewIsBusyAndStaysOpen() {
        // Replies take a while, so the apply is still running when the user tries to close.
        ParameterView* view = open(start(SimRecords{}, "latency=40"));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "si_motor_poles", ParameterModel::CurrentColumn),
                               QStringLiteral("20")));
        view->setAskFunction([](QWidget*, const QString&, const QString&) { return true; });
        QSignalSpy busy(view, &ParameterView::busyChanged);
        QSignalSpy applied(view, &ParameterView::applied);
        viewButton(view, "applyButton")->click();
        QVERIFY(view->isBusy());
        QCOMPARE(busy.size(), 1);
        for (const char* name : {"applyButton", "saveAsButton", "resetAllButton", "discardButton",
                                 "reloadButton", "compareFileButton"}) {
            QVERIFY2(!viewButton(view, name)->isEnabled(), name);
        }
        QVERIFY(!view->findChild<QTreeView*>(QStringLiteral("parameterTable"))->isEnabled());
        QVERIFY(!view->close());
        QVERIFY(view->isVisible());
        QCOMPARE(statusOf(view), QStringLiteral("Waiting for the controller to answer before closing."));

        QVERIFY(applied.wait(10000) || !applied.isEmpty());
        QCOMPARE(applied.first().first().toBool(), true);
        QVERIFY(!view->isBusy());
        QCOMPARE(busy.size(), 2);
        QCOMPARE(controllerHolds().mc.si_motor_poles, std::uint8_t{20});
        QVERIFY(view->close());
    }

    void saveAsWritesWhatTheTableShows() {
        ParameterView* view = open(start(changedRecords()));
        QVERIFY(view != nullptr);
        ParameterModel* model = view->model();
        QVERIFY(model->setData(cell(model, RecordKind::Mc, "l_current_max", ParameterModel::CurrentColumn),
                               QStringLiteral("12.25")));
        const LpfpConfiguration shown = model->working();
        QCOMPARE(shown.mc.l_current_max, 12.25f);

        // An LPFP file; a name without an extension gets ".lpfp".
        files_->answer(dir_->file("table"));
        viewButton(view, "saveAsButton")->click();
        QCOMPARE(files_->requests().back().kind, FileDialogKind::Save);
        QCOMPARE(files_->requests().back().caption, QStringLiteral("Save Parameters"));
        const std::string lpfp = dir_->file("table.lpfp");
        QCOMPARE(QString::fromStdString(readFileBytes(lpfp)),
                 QString::fromStdString(encodeLpfp(buildLpfpText(shown))));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("SUCCESS"));
        QCOMPARE(boxes_->boxes()[0].text,
                 QStringLiteral("Parameters saved to: ") + QString::fromStdString(lpfp));

        // An XML pair, named after the chosen name.
        boxes_->clear();
        files_->answer(dir_->file("pair.mc.xml"));
        viewButton(view, "saveAsButton")->click();
        const std::string declaration = std::string(XML_DECLARATION) + "\n";
        QCOMPARE(QString::fromStdString(readFileBytes(dir_->file("pair.app.xml"))),
                 QString::fromStdString(declaration + appConfigToXml(shown.app)));
        QCOMPARE(QString::fromStdString(readFileBytes(dir_->file("pair.mc.xml"))),
                 QString::fromStdString(declaration + mcConfigToXml(shown.mc)));
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].text, QStringLiteral("Parameters saved to: ") +
                                              QString::fromStdString(dir_->file("pair.app.xml")) +
                                              QStringLiteral(" and ") +
                                              QString::fromStdString(dir_->file("pair.mc.xml")));

        // A name without an extension follows the filter chosen in the dialog.
        boxes_->clear();
        files_->answer(dir_->file("chosen"), QStringLiteral("XML pair (*.xml)"));
        viewButton(view, "saveAsButton")->click();
        QVERIFY(QFileInfo::exists(QString::fromStdString(dir_->file("chosen.app.xml"))));
        QVERIFY(QFileInfo::exists(QString::fromStdString(dir_->file("chosen.mc.xml"))));
        QVERIFY(!QFileInfo::exists(QString::fromStdString(dir_->file("chosen.lpfp"))));

        // A folder that does not exist is reported and nothing is claimed.
        boxes_->clear();
        files_->answer(dir_->file("missing/x.lpfp"));
        viewButton(view, "saveAsButton")->click();
        QCOMPARE(boxes_->boxes().size(), std::size_t{1});
        QCOMPARE(boxes_->boxes()[0].title, QStringLiteral("Error"));
        QVERIFY(boxes_->boxes()[0].text.startsWith(QStringLiteral("Failed at saving the parameters\n")));
        // The edits are still there: saving is not applying.
        QVERIFY(model->hasEdits());
    }
};

QTEST_MAIN(ParameterViewTest)
#include "parameter_view_test.moc"
