#include "loader/parameter_view.h"
#include "ui_parameter_view.h"

#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/config_source.h"
#include "core/ops/input_preparation.h"
#include "core/ops/recording.h"
#include "loader/file_dialogs.h"
#include "loader/panel_texts.h"
#include "loader/parameter_delegate.h"
#include "loader/parameter_model.h"
#include "loader/qt_text.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>

#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

QString joinedLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) {
        text += QStringLiteral("\n") + line;
    }
    return text;
}

QString swatch(const QColor& colour, const QString& text) {
    return QStringLiteral("<span style=\"background-color:%1\">&nbsp;%2&nbsp;</span>")
        .arg(colour.name(), text);
}

// Modal to the view only: the panels and the main window stay usable while it asks.
bool askWithBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::WindowModal);
    return box.exec() == QMessageBox::Yes;
}

// A result box of the view: not modal, tied to the view, long texts cut with "and N more".
void showViewBox(QWidget* view, QMessageBox::Icon icon, const QString& title, const QString& text) {
    const BoxText capped = cappedBoxText(text);
    auto* box = new QMessageBox(icon, title, capped.shown, QMessageBox::Ok, view);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (!capped.full.isEmpty()) {
        box->setDetailedText(capped.full);
    }
    box->show();
}

bool hasSuffix(const QString& path, const char* suffix) {
    return path.endsWith(QString::fromLatin1(suffix), Qt::CaseInsensitive);
}

} // namespace

ParameterView::ParameterView(SessionRunner runner, const QString& deviceName, bool writable, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ParameterView>()), runner_(std::move(runner)),
      deviceName_(deviceName), writable_(writable), model_(new ParameterModel(this)),
      delegate_(new ParameterDelegate(this)), ask_(askWithBox) {
    ui_->setupUi(this);
    setWindowTitle(deviceName_.isEmpty() ? tr("Parameters") : tr("Parameters - %1").arg(deviceName_));

    QTreeView* tree = ui_->parameterTable;
    tree->setModel(model_);
    tree->setItemDelegateForColumn(ParameterModel::CurrentColumn, delegate_);
    tree->header()->setStretchLastSection(true);
    tree->setColumnWidth(ParameterModel::KeyColumn, 340);
    tree->setColumnWidth(ParameterModel::CurrentColumn, 150);
    tree->setColumnWidth(ParameterModel::DefaultColumn, 150);
    tree->setColumnHidden(ParameterModel::FileColumn, true);
    // A click on a column's title sorts the keys of each group by it, a second click the other
    // way round, a third brings back the order of the documents.
    tree->header()->setSectionsClickable(true);
    tree->header()->setSortIndicatorShown(true);
    tree->header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(tree->header(), &QHeaderView::sectionClicked, this, &ParameterView::sortBy);
    // What the user collapsed stays collapsed while the rows change under it.
    connect(tree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        collapsed_.insert(index.data(ParameterModel::HeadingIdRole).toInt());
    });
    connect(tree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        collapsed_.erase(index.data(ParameterModel::HeadingIdRole).toInt());
    });

    ui_->legendLabel->setText(
        swatch(ParameterModel::editedColour(), tr("edited, not applied")) + QStringLiteral("&nbsp;&nbsp;") +
        swatch(ParameterModel::defaultDifferenceColour(), tr("differs from the default")) +
        QStringLiteral("&nbsp;&nbsp;") +
        swatch(ParameterModel::fileDifferenceColour(), tr("file differs from current")) +
        QStringLiteral("&nbsp;&nbsp;") + tr("Floats within 0.01 count as equal."));

    // Each change of the values can be taken back; after a comparison the file's values can be
    // taken as the edits.
    undoButton_ = new QPushButton(tr("Undo"), this);
    undoButton_->setObjectName(QStringLiteral("undoButton"));
    undoButton_->setShortcut(QKeySequence::Undo);
    undoButton_->setToolTip(tr("Take back the last change of the values (%1)")
                                .arg(QKeySequence(QKeySequence::Undo).toString(QKeySequence::NativeText)));
    ui_->editLayout->insertWidget(ui_->editLayout->indexOf(ui_->discardButton) + 1, undoButton_);
    takeFileButton_ = new QPushButton(tr("Take the file's values"), this);
    takeFileButton_->setObjectName(QStringLiteral("takeFileButton"));
    takeFileButton_->setToolTip(tr("The keys of the compared file's records take its values, as edits"));
    ui_->filterLayout->insertWidget(ui_->filterLayout->indexOf(ui_->compareFileButton) + 1, takeFileButton_);
    connect(undoButton_, &QPushButton::clicked, model_, &ParameterModel::undo);
    connect(takeFileButton_, &QPushButton::clicked, model_, &ParameterModel::takeFileValues);
    connect(model_, &ParameterModel::valuesChanged, this, &ParameterView::updateButtons);

    // Enter in the filter must not press a button.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
    }

    // Heading rows span the whole width and open as they were; both go with every new set of
    // rows.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        showHeadings();
        updateButtons();
    });
    connect(model_, &ParameterModel::editsChanged, this, &ParameterView::updateButtons);
    // What the status said of the last apply no longer holds once something is edited again,
    // and the edits it then speaks of may be taken back.
    connect(model_, &ParameterModel::editsChanged, this, [this] {
        if (busy_) {
            return;
        }
        if (model_->hasEdits() && ui_->statusLabel->text() == tr("Applied and verified.")) {
            showStatus(tr("Edits not applied yet."));
        } else if (!model_->hasEdits() && ui_->statusLabel->text() == tr("Edits not applied yet.")) {
            showStatus(QString());
        }
    });
    connect(delegate_, &ParameterDelegate::typing, this,
            [this](const QString& key, const QString& text, const QString& allowed) {
                showStatus(allowed.isEmpty()
                               ? QString()
                               : tr("%1 cannot hold \"%2\" (allowed: %3).").arg(key, text, allowed));
            });
    connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ParameterView::updateButtons);
    connect(
        delegate_, &ParameterDelegate::refused, this,
        [this](const QString& key, const QString& text, const QString& allowed) {
            showStatus(
                tr("%1 cannot hold \"%2\" (allowed: %3); its value is unchanged.").arg(key, text, allowed));
        });

    // A search opens every group, so that what it finds is in sight.
    connect(ui_->filterLineEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_->setFilterText(text);
        if (!text.trimmed().isEmpty()) {
            collapsed_.clear();
            ui_->parameterTable->expandAll();
        }
    });
    connect(ui_->expandAllButton, &QPushButton::clicked, this, [this] {
        collapsed_.clear();
        ui_->parameterTable->expandAll();
    });
    connect(ui_->collapseAllButton, &QPushButton::clicked, this, &ParameterView::collapseGroups);
    connect(ui_->onlyDifferencesCheckBox, &QCheckBox::toggled, model_, &ParameterModel::setOnlyDifferences);
    connect(ui_->compareFileButton, &QPushButton::clicked, this, &ParameterView::compareWithFile);
    connect(ui_->resetButton, &QPushButton::clicked, this,
            [this] { model_->resetToDefault(ui_->parameterTable->selectionModel()->selectedIndexes()); });
    connect(ui_->resetAllButton, &QPushButton::clicked, model_, &ParameterModel::resetAllToDefault);
    connect(ui_->discardButton, &QPushButton::clicked, model_, &ParameterModel::discardEdits);
    connect(ui_->reloadButton, &QPushButton::clicked, this, &ParameterView::reload);
    connect(ui_->saveAsButton, &QPushButton::clicked, this, &ParameterView::saveAs);
    connect(ui_->applyButton, &QPushButton::clicked, this, &ParameterView::apply);
    connect(ui_->closeButton, &QPushButton::clicked, this, &ParameterView::reject);

    if (!writable_) {
        ui_->applyButton->setToolTip(tr("This application only works with FW version 5.2"));
    }
    setBusy(false, QString());
}

void ParameterView::showHeadings() {
    QTreeView* tree = ui_->parameterTable;
    for (int top = 0; top < model_->rowCount(); ++top) {
        const QModelIndex record = model_->index(top, 0);
        tree->setFirstColumnSpanned(top, QModelIndex(), true);
        for (int row = 0; row < model_->rowCount(record); ++row) {
            const QModelIndex group = model_->index(row, 0, record);
            tree->setFirstColumnSpanned(row, record, true);
            if (!collapsed_.count(group.data(ParameterModel::HeadingIdRole).toInt())) {
                tree->expand(group);
            }
        }
        if (!collapsed_.count(record.data(ParameterModel::HeadingIdRole).toInt())) {
            tree->expand(record);
        }
    }
}

void ParameterView::collapseGroups() {
    // The records stay open, so that the groups' headings remain to choose from.
    QTreeView* tree = ui_->parameterTable;
    for (int top = 0; top < model_->rowCount(); ++top) {
        const QModelIndex record = model_->index(top, 0);
        tree->expand(record);
        for (int row = 0; row < model_->rowCount(record); ++row) {
            tree->collapse(model_->index(row, 0, record));
        }
    }
}

void ParameterView::sortBy(int column) {
    // Each click on the same column goes one step on: up, down, the documents' order.
    int sortColumn = column;
    Qt::SortOrder order = Qt::AscendingOrder;
    if (model_->sortColumn() == column) {
        if (model_->sortOrder() == Qt::AscendingOrder) {
            order = Qt::DescendingOrder;
        } else {
            sortColumn = -1;
        }
    }
    // The header has turned its indicator already; it shows what the table does instead.
    ui_->parameterTable->header()->setSortIndicator(sortColumn, order);
    model_->sort(sortColumn, order);
}

ParameterView::~ParameterView() {
    // The widgets go after this object: hiding them can still commit an open editor into the
    // model, whose signals must no longer reach the half-destroyed view.
    QObject::disconnect(model_, nullptr, this, nullptr);
    QObject::disconnect(delegate_, nullptr, this, nullptr);
    QObject::disconnect(ui_->parameterTable->selectionModel(), nullptr, this, nullptr);
    QObject::disconnect(ui_->parameterTable, nullptr, this, nullptr);
    QObject::disconnect(ui_->parameterTable->header(), nullptr, this, nullptr);
}

void ParameterView::setBusy(bool busy, const QString& status) {
    const bool changed = busy != busy_;
    busy_ = busy;
    ui_->busyIndicator->setVisible(busy);
    ui_->parameterTable->setEnabled(!busy);
    showStatus(status);
    updateButtons();
    if (changed) {
        emit busyChanged(busy);
    }
}

void ParameterView::updateButtons() {
    const bool idle = !busy_;
    const bool loaded = model_->isLoaded();
    const QItemSelectionModel* selection = ui_->parameterTable->selectionModel();
    ui_->compareFileButton->setEnabled(idle && loaded);
    ui_->saveAsButton->setEnabled(idle && loaded);
    ui_->resetAllButton->setEnabled(idle && loaded);
    ui_->reloadButton->setEnabled(idle);
    ui_->resetButton->setEnabled(idle && loaded && selection != nullptr && selection->hasSelection());
    ui_->discardButton->setEnabled(idle && model_->hasEdits());
    undoButton_->setEnabled(idle && model_->canUndo());
    takeFileButton_->setEnabled(idle && loaded && model_->hasFile());
    ui_->applyButton->setEnabled(idle && writable_ && model_->hasEdits());
}

void ParameterView::showStatus(const QString& text) {
    ui_->statusLabel->setText(text);
}

bool ParameterView::mayDiscardEdits(const QString& action) {
    if (!model_->hasEdits()) {
        return true;
    }
    return ask_(this, tr("Parameters"),
                tr("The edits have not been applied. %1 and discard them?").arg(action));
}

void ParameterView::reject() {
    if (busy_) {
        showStatus(tr("Waiting for the controller to answer before closing."));
        return;
    }
    if (!mayDiscardEdits(tr("Close the parameters"))) {
        return;
    }
    QDialog::reject();
}

// ---- Reading ------------------------------------------------------------------------------

void ParameterView::load() {
    if (busy_) {
        return;
    }
    setBusy(true, tr("Reading the parameters from the controller..."));
    struct Outcome {
        std::optional<ParameterSnapshot> snapshot;
        std::string error = "No controller attached";
    };
    auto outcome = std::make_shared<Outcome>();
    runner_(
        this,
        [outcome](ControllerSession& session) {
            try {
                outcome->snapshot = readParameterSnapshot(session);
                outcome->error.clear();
            } catch (const std::exception& error) {
                outcome->error = describeFailure(error);
            }
        },
        [this, outcome](const QString& notRun) {
            if (!outcome->snapshot && !notRun.isEmpty()) {
                outcome->error = notRun.toStdString();
            }
            if (!outcome->snapshot) {
                setBusy(false, tr("Failed at retrieving the parameters: %1").arg(qText(outcome->error)));
                showViewBox(this, QMessageBox::Critical, QStringLiteral("Error"),
                            tr("Failed at retrieving the parameters") + QStringLiteral("\n") +
                                qText(outcome->error));
                emit loaded(false);
                return;
            }
            model_->setSnapshot(*outcome->snapshot, false);
            setBusy(false, tr("Read from the controller."));
            emit loaded(true);
        });
}

void ParameterView::reload() {
    if (mayDiscardEdits(tr("Read the parameters again"))) {
        load();
    }
}

// ---- Applying -----------------------------------------------------------------------------

void ParameterView::apply() {
    if (busy_ || !writable_ || !model_->hasEdits()) {
        return;
    }
    // Only the records with edits are sent, each whole.
    std::optional<APPConfiguration> app;
    std::optional<MCConfiguration> mc;
    if (model_->appEdited()) {
        app = model_->working().app;
    }
    if (model_->mcEdited()) {
        mc = model_->working().mc;
    }
    setBusy(true, tr("Saving a backup of the current configuration..."));

    struct Outcome {
        bool ran = false;
        ApplyResult result;
        std::optional<ParameterSnapshot> snapshot;
        std::string readError;
    };
    auto outcome = std::make_shared<Outcome>();
    // Steps are reported from wherever the runner runs the job; each is shown on the GUI thread.
    const QPointer<ParameterView> self(this);
    ProgressFn progress = [self](const OpEvent& event) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, event] {
                if (self) {
                    for (const StepLine& line : updateStepLines(UpdateKind::Parameters, event)) {
                        self->showStatus(line.text);
                    }
                }
            },
            Qt::QueuedConnection);
    };
    runner_(
        this,
        [outcome, app, mc, progress, source = recording_](ControllerSession& session) {
            outcome->ran = true;
            try {
                std::shared_ptr<const Recording> recording;
                try {
                    recording = source && source->enabled() ? source->get() : nullptr;
                } catch (const std::exception& error) {
                    outcome->result.error =
                        std::string("Nothing was sent to the controller: ") + error.what();
                    outcome->result.recordError = outcome->result.error;
                }
                if (outcome->result.recordError.empty()) {
                    outcome->result =
                        recordedApply(recording.get(), session, operation_word::APPLY_PARAMETERS, {},
                                      [&] { return applyParameterRecords(session, app, mc, progress); });
                }
            } catch (const std::exception& error) {
                outcome->result.error = describeFailure(error);
            }
            // The view shows what the controller holds afterwards, whatever became of the apply.
            try {
                outcome->snapshot = readParameterSnapshot(session);
            } catch (const std::exception& error) {
                outcome->readError = describeFailure(error);
            }
        },
        [this, outcome](const QString& notRun) {
            if (!outcome->ran) {
                outcome->result.error =
                    notRun.isEmpty() ? std::string("No controller attached") : notRun.toStdString();
            }
            finishApply(outcome->result, outcome->snapshot, outcome->readError);
        });
}

void ParameterView::finishApply(const ApplyResult& result, const std::optional<ParameterSnapshot>& snapshot,
                                const std::string& readError) {
    const bool ok = result.ok();
    if (snapshot) {
        // After a failure the edits stay over what the controller now holds, marked where it
        // does not hold them, so that they can be looked at and applied again.
        model_->setSnapshot(*snapshot, !ok);
        model_->setShowControllerValues(!ok);
    } else if (ok) {
        // Verified, though it could not be read again: the controller holds the working copy.
        model_->setSnapshot({model_->working(), model_->snapshot().defaults}, false);
    }
    QStringList lines = resultLineTexts(describeApply(result), true);
    if (!readError.empty()) {
        lines << QStringLiteral("The parameters could not be read again: ") + qText(readError);
    }
    // Written after the apply: the outcome above stands, only its entry is not complete.
    const bool recordFailed = !result.recordError.empty() && result.recordError != result.error;
    if (recordFailed) {
        lines << qText(result.recordError);
    }
    setBusy(false, ok ? tr("Applied and verified.")
                      : tr("The apply failed; the edits that did not reach the "
                           "controller are still marked."));
    if (ok && recordFailed) {
        showViewBox(this, QMessageBox::Warning, QStringLiteral("Record failed"),
                    QStringLiteral("Configuration updated successfully") + joinedLines(lines));
    } else if (ok) {
        showViewBox(this, QMessageBox::Information, QStringLiteral("SUCCESS"),
                    QStringLiteral("Configuration updated successfully") + joinedLines(lines));
    } else {
        showViewBox(this, QMessageBox::Critical, QStringLiteral("Error"),
                    QStringLiteral("Configuration Validation Failed.") + joinedLines(lines));
    }
    emit applied(ok);
}

// ---- Files --------------------------------------------------------------------------------

void ParameterView::compareWithFile() {
    const QString path = askForFile({FileDialogKind::Open, this, tr("Open Configuration to Compare"),
                                     tr("Configurations (*.lpfp *.LPFP *.xml *.XML)")});
    if (path.isEmpty()) {
        return;
    }
    // Keys a file leaves out show the defaults under them, which is what Update would send.
    LpfpConfiguration values = model_->snapshot().defaults;
    const PreparedInput prepared = prepareConfigurationInput(path.toStdString());
    QString problem;
    switch (prepared.problem) {
    case InputProblem::None:
    case InputProblem::ValuesRefused: // shown as the readers narrow them
        break;
    case InputProblem::NotTheRecord:
        problem = QStringLiteral("Not a valid configuration file");
        break;
    case InputProblem::Unreadable:
    case InputProblem::Damaged:
        problem = qText(prepared.reason);
        break;
    }
    if (problem.isEmpty() && !readPreparedRecords(prepared, values)) {
        problem = QString::fromLatin1(prepared.record == RecordKind::None ? INVALID_CONFIGURATION_FILE
                                                                          : "Not a valid configuration file");
    }
    if (!problem.isEmpty()) {
        showViewBox(this, QMessageBox::Critical, QStringLiteral("Error"), problem);
        return;
    }
    const bool hasApp = prepared.record != RecordKind::Mc;
    const bool hasMc = prepared.record != RecordKind::App;
    model_->setFile(values, hasApp, hasMc, QFileInfo(path).fileName());
    ui_->parameterTable->setColumnHidden(ParameterModel::FileColumn, false);
    showStatus(tr("Compared with %1.").arg(path));
}

void ParameterView::saveAs() {
    // The extension follows the filter chosen in the dialog when the name has none.
    QString path = askForFile(
        {FileDialogKind::Save, this, tr("Save Parameters"), tr("LPFP Files(*.lpfp);;XML pair (*.xml)")});
    if (path.isEmpty()) {
        return;
    }
    QString saved;
    try {
        const LpfpConfiguration& records = model_->working();
        if (hasSuffix(path, ".xml")) {
            // One name stands for the pair, named as lpfp_cli names its output.
            QString base = path.left(path.size() - 4);
            for (const char* record : {".app", ".mc"}) {
                if (hasSuffix(base, record)) {
                    base.chop(static_cast<int>(std::strlen(record)));
                }
            }
            const QString appPath = base + QStringLiteral(".app.xml");
            const QString mcPath = base + QStringLiteral(".mc.xml");
            saveAppConfigXml(records.app, appPath.toStdString());
            saveMcConfigXml(records.mc, mcPath.toStdString());
            saved = appPath + tr(" and ") + mcPath;
        } else {
            if (QFileInfo(path).suffix().isEmpty()) {
                path += QStringLiteral(".lpfp");
            }
            writeLpfpFile(records, path.toStdString());
            saved = path;
        }
    } catch (const std::exception& error) {
        showViewBox(this, QMessageBox::Critical, QStringLiteral("Error"),
                    tr("Failed at saving the parameters") + QStringLiteral("\n") +
                        QString::fromStdString(error.what()));
        return;
    }
    showViewBox(this, QMessageBox::Information, QStringLiteral("SUCCESS"),
                tr("Parameters saved to: %1").arg(saved));
}
