#include "loader/parameter_delegate.h"

#include "loader/parameter_model.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// The characters a value of the kind may be written with.
bool possibleCharacter(FieldType type, QChar c) {
    if (c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('+') || c.isSpace()) {
        return type != FieldType::Bool || c.isDigit() || c.isSpace();
    }
    return type == FieldType::Float32 &&
           (c == QLatin1Char('.') || c == QLatin1Char('e') || c == QLatin1Char('E'));
}

} // namespace

ParameterValidator::ParameterValidator(const ParameterEntry& entry, QObject* parent)
    : QValidator(parent), entry_(entry) {}

QValidator::State ParameterValidator::validate(QString& input, int& /*position*/) const {
    if (valueFits(entry_, input.toStdString())) {
        return Acceptable;
    }
    for (const QChar c : input) {
        if (!possibleCharacter(entry_.type, c)) {
            return Invalid;
        }
    }
    return Intermediate;
}

QWidget* ParameterDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const auto* model = qobject_cast<const ParameterModel*>(index.model());
    const ParameterEntry* entry = model != nullptr ? model->entryAt(index) : nullptr;
    if (entry == nullptr || index.column() != ParameterModel::CurrentColumn) {
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("parameterEditor"));
    editor->setFrame(false);
    editor->setValidator(new ParameterValidator(*entry, editor));
    editor->setToolTip(QString::fromLatin1(entry->key.data(), static_cast<int>(entry->key.size())) +
                       QStringLiteral(": ") + QString::fromStdString(allowedText(*entry)));
    editor->setProperty("parameterKey", index.data(ParameterModel::KeyRole));
    editor->setProperty("parameterAllowed", QString::fromStdString(allowedText(*entry)));
    // A text that cannot be kept is shown in red while it is typed, and the view says what the
    // key takes, where the user is looking, rather than only in a tooltip.
    connect(editor, &QLineEdit::textChanged, this, [this, editor] {
        const bool fits = editor->hasAcceptableInput();
        editor->setStyleSheet(fits ? QString() : QStringLiteral("color: #c00000;"));
        emit typing(editor->property("parameterKey").toString(), editor->text(),
                    fits ? QString() : editor->property("parameterAllowed").toString());
    });
    return editor;
}

void ParameterDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(index.data(Qt::EditRole).toString());
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void ParameterDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (line == nullptr) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    if (line->text() == index.data(Qt::EditRole).toString()) {
        return;
    }
    if (!line->hasAcceptableInput() || !model->setData(index, line->text(), Qt::EditRole)) {
        const auto* parameters = qobject_cast<const ParameterModel*>(model);
        const ParameterEntry* entry = parameters != nullptr ? parameters->entryAt(index) : nullptr;
        emit refused(index.data(ParameterModel::KeyRole).toString(), line->text(),
                     entry != nullptr ? QString::fromStdString(allowedText(*entry)) : QString());
    }
}

bool ParameterDelegate::eventFilter(QObject* watched, QEvent* event) {
    auto* line = qobject_cast<QLineEdit*>(watched);
    if (line != nullptr && line->validator() != nullptr && !line->hasAcceptableInput()) {
        bool leaving = event->type() == QEvent::FocusOut;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            leaving =
                key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab || key == Qt::Key_Backtab;
        }
        if (leaving) {
            emit refused(line->property("parameterKey").toString(), line->text(),
                         line->property("parameterAllowed").toString());
        }
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}
