#include "loader/history_dialog.h"

#include "core/lpfp/lpfp.h"
#include "core/ops/recording.h"
#include "loader/file_dialogs.h"
#include "loader/qt_text.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <spdlog/spdlog.h>

#include <exception>
#include <functional>
#include <optional>
#include <utility>

namespace {

// Runs work on a thread of its own, then done on context's thread, unless context is gone by
// then. work must not throw.
void runInBackground(QObject* context, std::function<void()> work, std::function<void()> done) {
    QThread* thread = QThread::create(std::move(work));
    QObject::connect(thread, &QThread::finished, context, std::move(done));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void showResultBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace

QStringList historyRowTexts(const RecordEntry& entry) {
    QStringList inputs;
    for (const InputStamp& input : entry.inputs) {
        inputs << qText(input.fileName);
    }
    return {QString::number(entry.id),
            qText(entry.startedAt),
            qText(entry.operation),
            qText(entry.outcome),
            qText(entry.station) + QStringLiteral(" / ") + qText(entry.operatorName),
            inputs.join(QStringLiteral(", "))};
}

QString historyDetailsText(const RecordEntry& entry) {
    QStringList lines;
    lines << QStringLiteral("Entry %1, %2 %3 (%4)")
                 .arg(entry.id)
                 .arg(qText(entry.program), qText(entry.programVersion), qText(entry.startedAt));
    lines << QStringLiteral("Chip ID %1, firmware %2")
                 .arg(qText(entry.chipId),
                      entry.firmware.empty() ? QStringLiteral("-") : qText(entry.firmware));
    if (!entry.reason.empty()) {
        lines << QStringLiteral("Reason: ") + qText(entry.reason);
    }
    for (const InputStamp& input : entry.inputs) {
        lines << QStringLiteral("Input: %1 (SHA-256 %2)").arg(qText(input.fileName), qText(input.sha256));
    }
    if (!entry.backupPath.empty()) {
        lines << QStringLiteral("Backup: ") + qText(entry.backupPath);
    }
    if (!entry.outputPath.empty()) {
        lines << QStringLiteral("Saved to: ") + qText(entry.outputPath);
    }
    for (const RecordedRecord& record : entry.records) {
        QString line = QStringLiteral("%1: %2").arg(qText(record.record), qText(record.outcome));
        if (!record.reason.empty()) {
            line += QStringLiteral(" (") + qText(record.reason) + QLatin1Char(')');
        }
        lines << line;
        for (const RecordedDifference& difference : record.differences) {
            lines << QStringLiteral("    %1: %2 -> %3")
                         .arg(qText(difference.field), qText(difference.sent), qText(difference.readBack));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

HistoryDialog::HistoryDialog(std::shared_ptr<RecordingSource> recording, const QString& serial,
                             const QString& deviceName, QWidget* parent)
    : QDialog(parent), recording_(std::move(recording)), serial_(serial.toStdString()),
      deviceName_(deviceName) {
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(QStringLiteral("History - ") + deviceName);
    table_ = new QTableWidget(0, 6, this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("Time (UTC)"),
                                       QStringLiteral("Operation"), QStringLiteral("Outcome"),
                                       QStringLiteral("Station / Operator"), QStringLiteral("Inputs")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    details_ = new QLabel(this);
    details_->setObjectName(QStringLiteral("historyDetails"));
    details_->setWordWrap(true);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("historyStatus"));
    status_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    saveButton_ = buttons->addButton(QStringLiteral("Save as LPFP"), QDialogButtonBox::ActionRole);
    saveButton_->setObjectName(QStringLiteral("saveAsLpfp_PushButton"));
    saveButton_->setEnabled(false);
    refreshButton_ = buttons->addButton(QStringLiteral("Refresh"), QDialogButtonBox::ActionRole);
    refreshButton_->setObjectName(QStringLiteral("refresh_PushButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(saveButton_, &QPushButton::clicked, this, &HistoryDialog::saveChosen);
    connect(refreshButton_, &QPushButton::clicked, this, &HistoryDialog::load);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &HistoryDialog::showDetails);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(details_);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(820, 420);
}

QString HistoryDialog::statusText() const {
    return status_->text();
}

void HistoryDialog::setBusy(bool busy) {
    busy_ = busy;
    refreshButton_->setEnabled(!busy);
    saveButton_->setEnabled(!busy && !table_->selectedItems().isEmpty());
}

void HistoryDialog::load() {
    if (busy_) {
        return;
    }
    setBusy(true);
    status_->setText(QStringLiteral("Reading the record..."));
    struct Found {
        std::vector<RecordEntry> entries;
        std::string error;
    };
    auto found = std::make_shared<Found>();
    runInBackground(
        this,
        [found, source = recording_, serial = serial_] {
            try {
                const auto recording = source ? source->get() : nullptr;
                if (!recording) {
                    found->error = "This program does not record: VARKO5_RECORD is not set";
                    return;
                }
                HistoryQuery query;
                query.serial = serial;
                found->entries = recording->store->history(query);
            } catch (const std::exception& error) {
                found->error = error.what();
            }
        },
        [this, found] {
            setBusy(false);
            if (!found->error.empty()) {
                spdlog::error("{}", found->error);
                status_->setText(QStringLiteral("The record could not be read: ") + qText(found->error));
                emit loaded(false);
                return;
            }
            showEntries(found->entries);
            emit loaded(true);
        });
}

void HistoryDialog::showEntries(const std::vector<RecordEntry>& entries) {
    entries_ = entries;
    table_->clearSelection();
    table_->setRowCount(static_cast<int>(entries_.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const RecordEntry& entry = entries_[static_cast<std::size_t>(row)];
        const QStringList cells = historyRowTexts(entry);
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 3 && !entry.reason.empty()) {
                item->setToolTip(qText(entry.reason));
            }
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();
    details_->clear();
    const QString where = qText(recording_->shown());
    status_->setText(entries_.size() == 1
                         ? QStringLiteral("1 entry in %1").arg(where)
                         : QStringLiteral("%1 entries in %2").arg(entries_.size()).arg(where));
    // The newest entry is the one most often wanted.
    if (!entries_.empty()) {
        table_->selectRow(table_->rowCount() - 1);
    }
}

void HistoryDialog::showDetails() {
    const QList<QTableWidgetItem*> chosen = table_->selectedItems();
    saveButton_->setEnabled(!busy_ && !chosen.isEmpty());
    if (chosen.isEmpty()) {
        details_->clear();
        return;
    }
    const int row = chosen.front()->row();
    if (row >= 0 && row < static_cast<int>(entries_.size())) {
        details_->setText(historyDetailsText(entries_[static_cast<std::size_t>(row)]));
    }
}

void HistoryDialog::saveChosen() {
    const QList<QTableWidgetItem*> chosen = table_->selectedItems();
    if (chosen.isEmpty() || busy_) {
        return;
    }
    const int row = chosen.front()->row();
    const QString path = askForFile(
        {FileDialogKind::Save, this, QStringLiteral("Save as LPFP"), QStringLiteral("LPFP Files(*.lpfp)")});
    if (path.isEmpty()) {
        return;
    }
    saveRow(row, path);
}

void HistoryDialog::saveRow(int row, const QString& path) {
    if (busy_ || row < 0 || row >= static_cast<int>(entries_.size())) {
        return;
    }
    setBusy(true);
    const std::int64_t id = entries_[static_cast<std::size_t>(row)].id;
    auto error = std::make_shared<std::string>();
    // The entry is read again and written as lpfp_cli --history-export writes it; the file is
    // replaced whole or not at all.
    runInBackground(
        this,
        [error, id, source = recording_, file = path.toStdString()] {
            try {
                const auto recording = source ? source->get() : nullptr;
                if (!recording) {
                    *error = "This program does not record: VARKO5_RECORD is not set";
                    return;
                }
                const std::optional<RecordEntry> entry = recording->store->entry(id);
                if (!entry) {
                    *error = "No entry " + std::to_string(id) + " in the record " +
                             recording->store->destination().shown;
                    return;
                }
                writeLpfpFile(entryConfiguration(*entry), file);
            } catch (const std::exception& failure) {
                *error = failure.what();
            }
        },
        [this, error, id, path] {
            setBusy(false);
            if (!error->empty()) {
                spdlog::error("{}", *error);
                showResultBox(this, QMessageBox::Critical, QStringLiteral("Error"),
                              QStringLiteral("Entry %1 could not be saved as LPFP\n").arg(id) +
                                  qText(*error));
                emit saved(false);
                return;
            }
            showResultBox(this, QMessageBox::Information, QStringLiteral("SUCCESS"),
                          QStringLiteral("Entry %1 saved to: %2").arg(id).arg(path));
            emit saved(true);
        });
}
