#pragma once
// Editors of the parameter table's current column. A number is typed into a line edit that
// takes only what could become a value of the key, and hands the value to the table only when
// the key can hold it; a boolean is a check box of the table itself.

#include "loader/parameter_table.h"

#include <QStyledItemDelegate>
#include <QValidator>

class ParameterValidator : public QValidator {
    Q_OBJECT

public:
    ParameterValidator(const ParameterEntry& entry, QObject* parent);
    // Acceptable when the key can hold the text; Intermediate while it may still become a
    // value (a sign, a point, an exponent, or a number out of range); Invalid otherwise.
    State validate(QString& input, int& position) const override;

private:
    const ParameterEntry& entry_;
};

class ParameterDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

protected:
    // Enter, Tab or leaving the cell with a text the key cannot hold: the editor's validator
    // keeps Qt from committing it, so the refusal is reported here, where it happens.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // While a value is typed: what the key takes, when the text is not (yet) a value it can
    // hold; empty once it is.
    void typing(const QString& key, const QString& text, const QString& allowed) const;
    // A text the key cannot hold was left in an editor; the table keeps its value. allowed
    // says what the key takes.
    void refused(const QString& key, const QString& text, const QString& allowed) const;
};
