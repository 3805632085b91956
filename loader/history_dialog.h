#pragma once
// The History of one panel's controller: its entries in the production record (time,
// operation, outcome, station and operator, inputs), oldest first, the details of the chosen
// one, and "Save as LPFP", which writes the configuration that entry wrote (for a read: the one
// it read) as lpfp_cli --history-export does.
//
// The record is read, and the file written, on a thread of its own: a server that is slow to
// answer never holds up the window, and no controller is touched.

#include "core/record/record_entry.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class RecordingSource;

class HistoryDialog : public QDialog {
    Q_OBJECT

public:
    HistoryDialog(std::shared_ptr<RecordingSource> recording, const QString& serial,
                  const QString& deviceName, QWidget* parent = nullptr);

    // Reads the controller's entries again; loaded follows.
    void load();
    // Writes the configuration of the entry in that row to path; saved follows.
    void saveRow(int row, const QString& path);

    QTableWidget* table() const { return table_; }
    const std::vector<RecordEntry>& entries() const { return entries_; }
    // What the dialog says under the list: how many entries, or why there are none.
    QString statusText() const;
    bool isBusy() const { return busy_; }

signals:
    void loaded(bool ok);
    void saved(bool ok);

private:
    void setBusy(bool busy);
    void showEntries(const std::vector<RecordEntry>& entries);
    void showDetails();
    void saveChosen();

    std::shared_ptr<RecordingSource> recording_;
    std::string serial_;
    QString deviceName_;
    std::vector<RecordEntry> entries_;
    QTableWidget* table_ = nullptr;
    QLabel* details_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    bool busy_ = false;
};

// The cells of an entry's row, in the order of the dialog's columns.
QStringList historyRowTexts(const RecordEntry& entry);
// The details of an entry as the dialog shows them below the list: reason, inputs with their
// SHA-256, backup, output and the fields that differed.
QString historyDetailsText(const RecordEntry& entry);
