#include "loader/parameter_model.h"
#include "loader/qt_text.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace {

const QColor EDITED_COLOUR(255, 236, 140);
const QColor DEFAULT_DIFFERENCE_COLOUR(255, 205, 160);
const QColor FILE_DIFFERENCE_COLOUR(185, 218, 255);
const QColor HEADING_COLOUR(226, 226, 226);
const QColor NOT_STORED_COLOUR(128, 128, 128);

const char* const NOT_STORED_TEXT = "not stored";

} // namespace

ParameterModel::ParameterModel(QObject* parent) : QAbstractItemModel(parent) {}

QColor ParameterModel::editedColour() {
    return EDITED_COLOUR;
}
QColor ParameterModel::defaultDifferenceColour() {
    return DEFAULT_DIFFERENCE_COLOUR;
}
QColor ParameterModel::fileDifferenceColour() {
    return FILE_DIFFERENCE_COLOUR;
}

int ParameterModel::Node::identity() const {
    // Keys by their entry; headings after every entry, each record and group once.
    const int headings = static_cast<int>(parameterEntries().size());
    switch (kind) {
    case Kind::Key:
        return entry;
    case Kind::Group:
        return headings + static_cast<int>(group);
    case Kind::Record:
        return headings + 256 + static_cast<int>(record);
    }
    return -1;
}

const ParameterModel::Node* ParameterModel::nodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.internalId() >= tree_.nodes.size()) {
        return nullptr;
    }
    return &tree_.nodes[static_cast<std::size_t>(index.internalId())];
}

QModelIndex ParameterModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount) {
        return {};
    }
    const std::vector<int>* rows = &tree_.top;
    if (parent.isValid()) {
        const Node* node = nodeAt(parent);
        if (node == nullptr || parent.column() != 0) {
            return {};
        }
        rows = &node->children;
    }
    if (row >= static_cast<int>(rows->size())) {
        return {};
    }
    return createIndex(row, column, static_cast<quintptr>((*rows)[static_cast<std::size_t>(row)]));
}

QModelIndex ParameterModel::parent(const QModelIndex& child) const {
    const Node* node = nodeAt(child);
    if (node == nullptr || node->parent < 0) {
        return {};
    }
    const Node& parent = tree_.nodes[static_cast<std::size_t>(node->parent)];
    return createIndex(parent.row, 0, static_cast<quintptr>(node->parent));
}

int ParameterModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(tree_.top.size());
    }
    const Node* node = nodeAt(parent);
    return node == nullptr || parent.column() != 0 ? 0 : static_cast<int>(node->children.size());
}

int ParameterModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

const ParameterEntry* ParameterModel::entryAt(const QModelIndex& index) const {
    const Node* node = nodeAt(index);
    if (node == nullptr || node->kind != Node::Kind::Key) {
        return nullptr;
    }
    return &parameterEntries()[static_cast<std::size_t>(node->entry)];
}

QModelIndex ParameterModel::indexOf(RecordKind record, const QString& key, int column) const {
    for (std::size_t i = 0; i < tree_.nodes.size(); ++i) {
        const Node& node = tree_.nodes[i];
        if (node.kind != Node::Kind::Key) {
            continue;
        }
        const ParameterEntry& entry = parameterEntries()[static_cast<std::size_t>(node.entry)];
        if (entry.record == record && qText(entry.key) == key) {
            return createIndex(node.row, column, static_cast<quintptr>(i));
        }
    }
    return {};
}

QModelIndexList ParameterModel::keyRows(int column) const {
    QModelIndexList rows;
    for (int top : tree_.top) {
        for (int group : tree_.nodes[static_cast<std::size_t>(top)].children) {
            for (int key : tree_.nodes[static_cast<std::size_t>(group)].children) {
                rows << createIndex(tree_.nodes[static_cast<std::size_t>(key)].row, column,
                                    static_cast<quintptr>(key));
            }
        }
    }
    return rows;
}

bool ParameterModel::differs(const KeySet& keys, const ParameterEntry& entry) const {
    return keys.count({entry.record, entry.key}) != 0;
}

QVariant ParameterModel::data(const QModelIndex& index, int role) const {
    const Node* node = nodeAt(index);
    if (node == nullptr) {
        return {};
    }
    if (node->kind != Node::Kind::Key) {
        return headingData(*node, index.column(), role);
    }
    return entryData(parameterEntries()[static_cast<std::size_t>(node->entry)], index.column(), role);
}

QVariant ParameterModel::headingData(const Node& node, int column, int role) const {
    switch (role) {
    case Qt::DisplayRole: {
        if (column != KeyColumn) {
            return {};
        }
        const QString title =
            node.kind == Node::Kind::Record ? qText(recordName(node.record)) : qText(groupTitle(node.group));
        // How many keys it holds as shown, so that a collapsed group still says what it hides.
        std::size_t keys = node.children.size();
        if (node.kind == Node::Kind::Record) {
            keys = 0;
            for (int group : node.children) {
                keys += tree_.nodes[static_cast<std::size_t>(group)].children.size();
            }
        }
        return QStringLiteral("%1 (%2)").arg(title).arg(keys);
    }
    case HeadingRole:
        return true;
    case HeadingIdRole:
        return node.identity();
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
        return QAbstractItemModel::headerData(section, orientation, role);
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
    const ParameterEntry* entry = entryAt(index);
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
    const ParameterEntry* entry = entryAt(index);
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
    rememberForUndo(before);
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
    rememberForUndo(working_);
}

void ParameterModel::rememberForUndo(const LpfpConfiguration& before) {
    constexpr std::size_t MAX_UNDO = 200;
    if (undo_.size() == MAX_UNDO) {
        undo_.erase(undo_.begin());
    }
    undo_.push_back(before);
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
    rememberForUndo();
    for (const QModelIndex& index : indexes) {
        const ParameterEntry* entry = entryAt(index);
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
    // The search finds a key by its name or by any value the table shows for it. Not by its
    // group's heading: "current" would bring every key of the current loops.
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

namespace {

// What a column holds for a key, to sort by: nothing where the column shows no number. A NaN
// (which a controller's bytes can hold) is no number either: it has no place among the others,
// and a sort must not be handed an order that contradicts itself.
std::optional<double> sortValue(const ParameterEntry& entry, const LpfpConfiguration& pair) {
    if (!entry.stored) {
        return std::nullopt;
    }
    const FieldRef ref = entry.app != nullptr ? entry.app->in(pair.app) : entry.mc->in(pair.mc);
    const double value = entry.type == FieldType::Float32 ? static_cast<double>(getFloat(ref))
                                                          : static_cast<double>(getInteger(ref));
    if (std::isnan(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

bool ParameterModel::before(const ParameterEntry& a, const ParameterEntry& b) const {
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    if (sortColumn_ == KeyColumn) {
        return descending ? b.key < a.key : a.key < b.key;
    }
    const auto valueOf = [this](const ParameterEntry& entry) -> std::optional<double> {
        switch (sortColumn_) {
        case CurrentColumn:
            return sortValue(entry, working_);
        case DefaultColumn:
            return sortValue(entry, read_.defaults);
        case FileColumn:
            if (entry.record == RecordKind::App ? fileHasApp_ : fileHasMc_) {
                return sortValue(entry, file_);
            }
            return std::nullopt;
        default:
            return std::nullopt;
        }
    };
    const std::optional<double> left = valueOf(a);
    const std::optional<double> right = valueOf(b);
    // Keys without a value go last either way.
    if (!left || !right) {
        return left.has_value() && !right.has_value();
    }
    return descending ? *right < *left : *left < *right;
}

void ParameterModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column >= 0 && column < ColumnCount ? column : -1;
    sortOrder_ = order;
    refresh();
}

ParameterModel::Tree ParameterModel::buildTree() const {
    Tree tree;
    if (!loaded_) {
        return tree;
    }
    const auto& entries = parameterEntries();
    // Appends a row under parent (-1: at the top) and returns its place.
    const auto add = [&tree](Node node, int parent) {
        std::vector<int>& siblings =
            parent < 0 ? tree.top : tree.nodes[static_cast<std::size_t>(parent)].children;
        node.parent = parent;
        node.row = static_cast<int>(siblings.size());
        const int at = static_cast<int>(tree.nodes.size());
        siblings.push_back(at);
        tree.nodes.push_back(std::move(node));
        return at;
    };
    for (const RecordKind record : {RecordKind::App, RecordKind::Mc}) {
        int recordNode = -1;
        for (const ParameterGroup group : parameterGroupsOf(record)) {
            std::vector<int> keys;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (entries[i].record == record && entries[i].group == group && shown(entries[i])) {
                    keys.push_back(static_cast<int>(i));
                }
            }
            if (keys.empty()) {
                continue;
            }
            if (sortColumn_ >= 0) {
                std::stable_sort(keys.begin(), keys.end(), [this, &entries](int a, int b) {
                    return before(entries[static_cast<std::size_t>(a)], entries[static_cast<std::size_t>(b)]);
                });
            }
            if (recordNode < 0) {
                Node heading;
                heading.kind = Node::Kind::Record;
                heading.record = record;
                recordNode = add(std::move(heading), -1);
            }
            Node heading;
            heading.kind = Node::Kind::Group;
            heading.record = record;
            heading.group = group;
            const int groupNode = add(std::move(heading), recordNode);
            for (int entry : keys) {
                Node key;
                key.kind = Node::Kind::Key;
                key.record = record;
                key.group = group;
                key.entry = entry;
                add(std::move(key), groupNode);
            }
        }
    }
    return tree;
}

void ParameterModel::takeTree(Tree tree) {
    const auto identities = [](const Tree& t) {
        std::vector<int> ids;
        ids.reserve(t.nodes.size());
        for (const Node& node : t.nodes) {
            ids.push_back(node.identity());
        }
        return ids;
    };
    const std::vector<int> oldIds = identities(tree_);
    const std::vector<int> newIds = identities(tree);
    if (!tree_.nodes.empty() && oldIds == newIds) {
        // The same rows in the same places: only values changed.
        tree_ = std::move(tree);
        const auto changed = [this](const QModelIndex& parent) {
            const int rows = rowCount(parent);
            if (rows > 0) {
                emit dataChanged(index(0, 0, parent), index(rows - 1, ColumnCount - 1, parent));
            }
        };
        changed(QModelIndex());
        for (int top : tree_.top) {
            const QModelIndex record =
                createIndex(tree_.nodes[static_cast<std::size_t>(top)].row, 0, static_cast<quintptr>(top));
            changed(record);
            for (int row = 0; row < rowCount(record); ++row) {
                changed(index(row, 0, record));
            }
        }
        return;
    }
    std::vector<int> oldSorted = oldIds;
    std::vector<int> newSorted = newIds;
    std::sort(oldSorted.begin(), oldSorted.end());
    std::sort(newSorted.begin(), newSorted.end());
    if (tree_.nodes.empty() || oldSorted != newSorted) {
        beginResetModel();
        tree_ = std::move(tree);
        endResetModel();
        return;
    }
    // The same rows in another order (a sort): every row's parent is the same, so the view's
    // selection, current row and collapsed groups follow their rows.
    emit layoutAboutToBeChanged();
    std::map<int, int> placeOf;
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        placeOf[tree.nodes[i].identity()] = static_cast<int>(i);
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& old : before) {
        const Node* node = nodeAt(old);
        const auto found = node != nullptr ? placeOf.find(node->identity()) : placeOf.end();
        if (found == placeOf.end()) {
            after << QModelIndex();
            continue;
        }
        const Node& moved = tree.nodes[static_cast<std::size_t>(found->second)];
        after << createIndex(moved.row, old.column(), static_cast<quintptr>(found->second));
    }
    tree_ = std::move(tree);
    changePersistentIndexList(before, after);
    emit layoutChanged();
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
    takeTree(buildTree());
    if (hadEdits != hasEdits()) {
        emit editsChanged(hasEdits());
    }
    emit valuesChanged();
}
