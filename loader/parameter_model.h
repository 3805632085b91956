#pragma once
// The parameter tree: a heading row for each record, under it a heading row for each group of
// keys (what they configure), and under that one row per key with the controller's current
// value (as edited), its default and, when one is open, the value of a file. The keys of a
// group come in document order or sorted by any column. Edits are kept in a working copy of the
// records until they are applied or discarded.

#include "loader/parameter_table.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class ParameterModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { KeyColumn, CurrentColumn, DefaultColumn, FileColumn, ColumnCount };
    enum Role {
        KeyRole = Qt::UserRole + 1, // the key of the row; empty on a heading
        HeadingRole,                // true on the heading rows
        HeadingIdRole,              // on a heading, a number that names it across refreshes
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

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The current column takes a value text (EditRole) or, for a boolean, a check state. A text
    // the key cannot hold is refused: false, nothing changed.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // The keys of each group by the column's values (numbers by value; keys the column has no
    // value for last), or in document order for column -1. Groups keep their order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }

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

    // Rows shown: keys whose name or any of whose values shown contains text (any letter case),
    // and with onlyDifferences only keys that differ from the default or the file, or are
    // edited.
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
    const ParameterEntry* entryAt(const QModelIndex& index) const;
    // The cell of a key in column, invalid when the key is not shown.
    QModelIndex indexOf(RecordKind record, const QString& key, int column = KeyColumn) const;
    // Every key row shown, in the order of the tree.
    QModelIndexList keyRows(int column = KeyColumn) const;

signals:
    void editsChanged(bool hasEdits);
    // The values changed (by an edit or an action), so that undo may have become possible.
    void valuesChanged();

private:
    // One row of the tree: a record's heading, a group's heading or a key.
    struct Node {
        enum class Kind : std::uint8_t { Record, Group, Key };
        Kind kind = Kind::Key;
        RecordKind record = RecordKind::None;
        ParameterGroup group = ParameterGroup::General;
        int entry = -1;  // index into parameterEntries() on a key
        int parent = -1; // index into nodes_, -1 at the top
        int row = 0;     // within its parent
        std::vector<int> children;
        // The same row across refreshes, whatever its place.
        int identity() const;
    };
    struct Tree {
        std::vector<Node> nodes;
        std::vector<int> top;
    };

    bool differs(const KeySet& keys, const ParameterEntry& entry) const;
    bool shown(const ParameterEntry& entry) const;
    // True when a key's value in column goes before the other's in the current sort order.
    bool before(const ParameterEntry& a, const ParameterEntry& b) const;
    // Recomputes the comparisons and the rows after any change.
    void refresh();
    Tree buildTree() const;
    // Takes the new rows: as a change of values when the rows are the same, a new order of the
    // same rows (the view keeps its selection and what it has collapsed), or new rows.
    void takeTree(Tree tree);
    const Node* nodeAt(const QModelIndex& index) const;
    QVariant headingData(const Node& node, int column, int role) const;
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
    Tree tree_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    std::vector<LpfpConfiguration> undo_; // the working records before each change, newest last
    bool showControllerValues_ = false;

    // Notes the working records (or the ones given) before a change.
    void rememberForUndo();
    void rememberForUndo(const LpfpConfiguration& before);
};
