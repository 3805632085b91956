#pragma once
// The parameter table: one row per key of both records, under a heading row for each record
// and each group of keys, with the controller's current value (as edited), its default and,
// when one is open, the value of a file. Edits are kept in a working copy of the records until
// they are applied or discarded.

#include "loader/parameter_table.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <optional>
#include <vector>

class ParameterModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { KeyColumn, CurrentColumn, DefaultColumn, FileColumn, ColumnCount };
    enum Role {
        KeyRole = Qt::UserRole + 1, // the key of the row; empty on a heading
        HeadingRole,                // true on the heading rows
        EditedRole,                 // the current value differs from the one read
        DiffersFromDefaultRole,     // the current value differs from the default
        DiffersFromFileRole,        // the current value differs from the file's
        StoredRole,                 // false for the keys the controller does not keep
    };

    explicit ParameterModel(QObject* parent = nullptr);

    // The backgrounds of edited cells, of current values that differ from the default, and of
    // file values that differ from the current value.
    static QColor editedColour();
    static QColor defaultDifferenceColour();
    static QColor fileDifferenceColour();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The current column takes a value text (EditRole) or, for a boolean, a check state. A text
    // the key cannot hold is refused: false, nothing changed.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    bool isLoaded() const { return loaded_; }
    // Shows the records read from the controller. With keepEdits the keys edited so far keep
    // their edited values over the new records (and stay marked where they differ from them);
    // otherwise the edits are dropped.
    void setSnapshot(const ParameterSnapshot& snapshot, bool keepEdits);
    const ParameterSnapshot& snapshot() const { return read_; }
    // The records as the table shows them, edits included.
    const LpfpConfiguration& working() const { return working_; }

    // The third column: values of a file (laid over the defaults), for the records it holds.
    void setFile(const LpfpConfiguration& values, bool hasApp, bool hasMc, const QString& name);
    void clearFile();
    bool hasFile() const { return fileHasApp_ || fileHasMc_; }

    // Rows shown: keys containing text (any letter case), and with onlyDifferences only keys
    // that differ from the default or the file, or are edited.
    void setFilterText(const QString& text);
    void setOnlyDifferences(bool only);

    bool hasEdits() const { return !edited_.empty(); }
    bool appEdited() const;
    bool mcEdited() const;
    void discardEdits();
    // The keys of these rows, or of every row, take their default values (heading rows and the
    // keys the controller does not keep are left alone).
    void resetToDefault(const QModelIndexList& indexes);
    void resetAllToDefault();
    // The keys of the records the compared file holds take the file's values (the keys the
    // controller does not keep are left alone).
    void takeFileValues();

    // Every change of the values above (an edit, a reset, the file's values, discarding the
    // edits) can be taken back, one at a time, newest first, until the records are read again.
    bool canUndo() const { return !undo_.empty(); }
    void undo();

    // After an apply that failed, each edited key shows, next to its value, the value the
    // controller holds, so that it can be seen without hovering.
    void setShowControllerValues(bool show);

    // The entry a row shows, null on a heading.
    const ParameterEntry* entryAt(int row) const;
    // The row of a key, -1 when it is not shown.
    int rowOf(RecordKind record, const QString& key) const;

signals:
    void editsChanged(bool hasEdits);
    // The values changed (by an edit or an action), so that undo may have become possible.
    void valuesChanged();

private:
    struct Row {
        RecordKind record = RecordKind::None;
        QString heading; // set on heading rows
        int entry = -1;  // index into parameterEntries(), -1 on a heading
    };

    bool differs(const KeySet& keys, const ParameterEntry& entry) const;
    bool shown(const ParameterEntry& entry) const;
    // Recomputes the comparisons and the rows after any change.
    void refresh();
    std::vector<Row> buildRows() const;
    QVariant entryData(const ParameterEntry& entry, int column, int role) const;

    bool loaded_ = false;
    ParameterSnapshot read_{};
    LpfpConfiguration working_{};
    LpfpConfiguration file_{};
    bool fileHasApp_ = false;
    bool fileHasMc_ = false;
    QString fileName_;
    KeySet vsDefault_;
    KeySet vsFile_;
    KeySet edited_;
    QString filter_;
    bool onlyDifferences_ = false;
    std::vector<Row> rows_;
    std::vector<LpfpConfiguration> undo_; // the working records before each change, newest last
    bool showControllerValues_ = false;

    // Notes the working records before a change.
    void rememberForUndo();
};
