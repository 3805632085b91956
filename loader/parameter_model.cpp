#include "loader/parameter_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QStringList>

#include <set>

namespace {

const QColor EDITED_COLOUR(255, 236, 140);
const QColor DEFAULT_DIFFERENCE_COLOUR(255, 205, 160);
const QColor FILE_DIFFERENCE_COLOUR(185, 218, 255);
const QColor HEADING_COLOUR(226, 226, 226);
const QColor NOT_STORED_COLOUR(128, 128, 128);

const char* const NOT_STORED_TEXT = "not stored";

QString qText(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

} // namespace

ParameterModel::ParameterModel(QObject* parent) : QAbstractTableModel(parent) {}

QColor ParameterModel::editedColour() {
    return EDITED_COLOUR;
}
QColor ParameterModel::defaultDifferenceColour() {
    return DEFAULT_DIFFERENCE_COLOUR;
}
QColor ParameterModel::fileDifferenceColour() {
    return FILE_DIFFERENCE_COLOUR;
}

int ParameterModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ParameterModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

const ParameterEntry* ParameterModel::entryAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[static_cast<std::size_t>(row)].entry < 0) {
        return nullptr;
    }
    return &parameterEntries()[static_cast<std::size_t>(rows_[static_cast<std::size_t>(row)].entry)];
}

int ParameterModel::rowOf(RecordKind record, const QString& key) const {
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const ParameterEntry* entry = entryAt(static_cast<int>(row));
        if (entry != nullptr && entry->record == record && qText(entry->key) == key) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

bool ParameterModel::differs(const KeySet& keys, const ParameterEntry& entry) const {
    return keys.count({entry.record, entry.key}) != 0;
}

QVariant ParameterModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) {
        return {};
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (row.entry < 0) {
        switch (role) {
        case Qt::DisplayRole:
            return index.column() == KeyColumn ? row.heading : QVariant();
        case HeadingRole:
            return true;
        case Qt::BackgroundRole:
            return QBrush(HEADING_COLOUR);
        case Qt::FontRole: {
            QFont font;
            font.setBold(true);
            return font;
        }
        default:
            return {};
        }
    }
    return entryData(parameterEntries()[static_cast<std::size_t>(row.entry)], index.column(), role);
}

QVariant ParameterModel::entryData(const ParameterEntry& entry, int column, int role) const {
    const bool edited = differs(edited_, entry);
    const bool vsDefault = differs(vsDefault_, entry);
    const bool vsFile = differs(vsFile_, entry);
    const bool fileHolds = entry.record == RecordKind::App ? fileHasApp_ : fileHasMc_;
    switch (role) {
    case KeyRole:
        return qText(entry.key);
    case HeadingRole:
        return false;
    case EditedRole:
        return edited;
    case DiffersFromDefaultRole:
        return vsDefault;
    case DiffersFromFileRole:
        return vsFile;
    case StoredRole:
        return entry.stored;
    default:
        break;
    }
    if (!loaded_ && column != KeyColumn) {
        return {};
    }
    switch (column) {
    case KeyColumn:
        if (role == Qt::DisplayRole) {
            return qText(entry.key);
        }
        if (role == Qt::ToolTipRole && !entry.stored) {
            return tr("The controller does not store this key: it is never sent and reads back as 0.");
        }
        if (role == Qt::ForegroundRole && !entry.stored) {
            return QBrush(NOT_STORED_COLOUR);
        }
        return {};
    case CurrentColumn:
    case DefaultColumn: {
        const LpfpConfiguration& pair = column == CurrentColumn ? working_ : read_.defaults;
        if (!entry.stored) {
            if (role == Qt::DisplayRole) {
                return QString::fromLatin1(NOT_STORED_TEXT);
            }
            if (role == Qt::ForegroundRole) {
                return QBrush(NOT_STORED_COLOUR);
            }
            if (role == Qt::FontRole) {
                QFont font;
                font.setItalic(true);
                return font;
            }
            if (role == Qt::ToolTipRole) {
                return tr("The controller does not store this key.");
            }
            return {};
        }
        const QString text = QString::fromStdString(entryText(entry, pair));
        if (role == Qt::DisplayRole && column == CurrentColumn && edited && showControllerValues_) {
            return tr("%1  (controller: %2)")
                .arg(text, QString::fromStdString(entryText(entry, read_.current)));
        }
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            return text;
        }
        if (column == DefaultColumn) {
            return {};
        }
        if (role == Qt::CheckStateRole && entry.type == FieldType::Bool) {
            return text == QLatin1String("1") ? Qt::Checked : Qt::Unchecked;
        }
        if (role == Qt::BackgroundRole) {
            if (edited) {
                return QBrush(EDITED_COLOUR);
            }
            if (vsDefault) {
                return QBrush(DEFAULT_DIFFERENCE_COLOUR);
            }
            return {};
        }
        if (role == Qt::FontRole && edited) {
            QFont font;
            font.setBold(true);
            return font;
        }
        if (role == Qt::ToolTipRole) {
            QStringList lines;
            if (edited) {
                lines << tr("Edited; the controller holds %1")
                             .arg(QString::fromStdString(entryText(entry, read_.current)));
            }
            if (vsDefault) {
                lines << tr("Differs from the default %1")
                             .arg(QString::fromStdString(entryText(entry, read_.defaults)));
            }
            if (vsFile) {
                lines
                    << tr("Differs from the file's %1").arg(QString::fromStdString(entryText(entry, file_)));
            }
            return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
        }
        return {};
    }
    case FileColumn:
        if (!fileHolds) {
            return {};
        }
        if (role == Qt::DisplayRole) {
            return QString::fromStdString(entryText(entry, file_));
        }
        if (role == Qt::ForegroundRole && !entry.stored) {
            return QBrush(NOT_STORED_COLOUR);
        }
        if (role == Qt::BackgroundRole && vsFile) {
            return QBrush(FILE_DIFFERENCE_COLOUR);
        }
        return {};
    default:
        return {};
    }
}

QVariant ParameterModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case KeyColumn:
        return tr("Key");
    case CurrentColumn:
        return tr("Current");
    case DefaultColumn:
        return tr("Default");
    case FileColumn:
        return hasFile() ? tr("File: %1").arg(fileName_) : tr("File");
    default:
        return {};
    }
}

Qt::ItemFlags ParameterModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    const ParameterEntry* entry = entryAt(index.row());
    if (entry == nullptr) {
        return Qt::ItemIsEnabled;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == CurrentColumn && loaded_ && entry->stored) {
        flags |= entry->type == FieldType::Bool ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable;
    }
    return flags;
}

bool ParameterModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const ParameterEntry* entry = index.isValid() ? entryAt(index.row()) : nullptr;
    if (entry == nullptr || index.column() != CurrentColumn || !loaded_ || !entry->stored) {
        return false;
    }
    std::string text;
    if (role == Qt::CheckStateRole && entry->type == FieldType::Bool) {
        text = value.toInt() == Qt::Checked ? "1" : "0";
    } else if (role == Qt::EditRole) {
        text = value.toString().toStdString();
    } else {
        return false;
    }
    const LpfpConfiguration before = working_;
    if (!setEntryText(*entry, working_, text)) {
        return false;
    }
    if (changedKeys(before, working_).empty()) {
        return true; // the same value again: nothing to take back
    }
    undo_.push_back(before);
    refresh();
    return true;
}

void ParameterModel::setSnapshot(const ParameterSnapshot& snapshot, bool keepEdits) {
    // New values from the controller: what came before cannot be taken back into them.
    undo_.clear();
    showControllerValues_ = false;
    LpfpConfiguration working = snapshot.current;
    if (keepEdits) {
        for (const ParameterEntry& entry : parameterEntries()) {
            if (differs(edited_, entry)) {
                copyEntry(entry, working_, working);
            }
        }
    }
    read_ = snapshot;
    working_ = working;
    loaded_ = true;
    refresh();
}

void ParameterModel::setFile(const LpfpConfiguration& values, bool hasApp, bool hasMc, const QString& name) {
    file_ = values;
    fileHasApp_ = hasApp;
    fileHasMc_ = hasMc;
    fileName_ = name;
    refresh();
    emit headerDataChanged(Qt::Horizontal, FileColumn, FileColumn);
}

void ParameterModel::clearFile() {
    setFile(LpfpConfiguration{}, false, false, QString());
}

void ParameterModel::setFilterText(const QString& text) {
    filter_ = text.trimmed();
    refresh();
}

void ParameterModel::setOnlyDifferences(bool only) {
    onlyDifferences_ = only;
    refresh();
}

bool ParameterModel::appEdited() const {
    for (const auto& key : edited_) {
        if (key.first == RecordKind::App) {
            return true;
        }
    }
    return false;
}

bool ParameterModel::mcEdited() const {
    for (const auto& key : edited_) {
        if (key.first == RecordKind::Mc) {
            return true;
        }
    }
    return false;
}

void ParameterModel::discardEdits() {
    rememberForUndo();
    working_ = read_.current;
    refresh();
}

void ParameterModel::rememberForUndo() {
    constexpr std::size_t MAX_UNDO = 200;
    if (undo_.size() == MAX_UNDO) {
        undo_.erase(undo_.begin());
    }
    undo_.push_back(working_);
}

void ParameterModel::undo() {
    if (undo_.empty()) {
        return;
    }
    working_ = undo_.back();
    undo_.pop_back();
    refresh();
}

void ParameterModel::takeFileValues() {
    if (!loaded_ || !hasFile()) {
        return;
    }
    rememberForUndo();
    for (const ParameterEntry& entry : parameterEntries()) {
        const bool held = entry.record == RecordKind::App ? fileHasApp_ : fileHasMc_;
        if (held && entry.stored) {
            copyEntry(entry, file_, working_);
        }
    }
    refresh();
}

void ParameterModel::setShowControllerValues(bool show) {
    showControllerValues_ = show;
    refresh();
}

void ParameterModel::resetToDefault(const QModelIndexList& indexes) {
    std::set<int> rows;
    for (const QModelIndex& index : indexes) {
        rows.insert(index.row());
    }
    rememberForUndo();
    for (int row : rows) {
        const ParameterEntry* entry = entryAt(row);
        if (entry != nullptr && entry->stored) {
            copyEntry(*entry, read_.defaults, working_);
        }
    }
    refresh();
}

void ParameterModel::resetAllToDefault() {
    rememberForUndo();
    for (const ParameterEntry& entry : parameterEntries()) {
        if (entry.stored) {
            copyEntry(entry, read_.defaults, working_);
        }
    }
    refresh();
}

bool ParameterModel::shown(const ParameterEntry& entry) const {
    // The search finds a key by its name or by any value the table shows for it.
    if (!filter_.isEmpty() && !qText(entry.key).contains(filter_, Qt::CaseInsensitive)) {
        const auto holds = [this, &entry](const LpfpConfiguration& pair) {
            return QString::fromStdString(entryText(entry, pair)).contains(filter_, Qt::CaseInsensitive);
        };
        const bool fileShown = (entry.record == RecordKind::App && fileHasApp_) ||
                               (entry.record == RecordKind::Mc && fileHasMc_);
        if (!entry.stored || !(holds(working_) || holds(read_.defaults) || (fileShown && holds(file_)))) {
            return false;
        }
    }
    return !onlyDifferences_ || differs(edited_, entry) || differs(vsDefault_, entry) ||
           differs(vsFile_, entry);
}

std::vector<ParameterModel::Row> ParameterModel::buildRows() const {
    std::vector<Row> rows;
    if (!loaded_) {
        return rows;
    }
    const auto& entries = parameterEntries();
    RecordKind headedRecord = RecordKind::None;
    std::string headedGroup;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ParameterEntry& entry = entries[i];
        if (!shown(entry)) {
            continue;
        }
        if (entry.record != headedRecord) {
            rows.push_back({entry.record, qText(recordName(entry.record)), -1});
            headedRecord = entry.record;
            headedGroup.clear();
        }
        if (!entry.group.empty() && entry.group != headedGroup) {
            rows.push_back({entry.record, QString::fromStdString(entry.group), -1});
            headedGroup = entry.group;
        }
        rows.push_back({entry.record, QString(), static_cast<int>(i)});
    }
    return rows;
}

void ParameterModel::refresh() {
    const bool hadEdits = hasEdits();
    const auto storedOnly = [](KeySet keys, bool app, bool mc) {
        KeySet kept;
        for (const ParameterEntry& entry : parameterEntries()) {
            const bool present = entry.record == RecordKind::App ? app : mc;
            if (present && entry.stored && keys.count({entry.record, entry.key}) != 0) {
                kept.insert({entry.record, entry.key});
            }
        }
        return kept;
    };
    if (loaded_) {
        edited_ = changedKeys(working_, read_.current);
        vsDefault_ = storedOnly(differingKeys(working_, read_.defaults), true, true);
        vsFile_ = storedOnly(differingKeys(working_, file_), fileHasApp_, fileHasMc_);
    }
    std::vector<Row> rows = buildRows();
    std::vector<int> oldEntries;
    std::vector<int> newEntries;
    for (const Row& row : rows_) {
        oldEntries.push_back(row.entry);
    }
    for (const Row& row : rows) {
        newEntries.push_back(row.entry);
    }
    if (!rows_.empty() && oldEntries == newEntries) {
        rows_ = std::move(rows);
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
    } else {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    if (hadEdits != hasEdits()) {
        emit editsChanged(hasEdits());
    }
    emit valuesChanged();
}
