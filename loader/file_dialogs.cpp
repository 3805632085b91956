#include "loader/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <utility>

namespace {

QString showFileDialog(const FileDialogRequest& request) {
    if (request.kind == FileDialogKind::Open) {
        QString selected = request.filter.section(QStringLiteral(";;"), 0, 0);
        const QString path = QFileDialog::getOpenFileName(request.parent, request.caption, QString(),
                                                          request.filter, &selected);
        if (request.chosenFilter != nullptr) {
            *request.chosenFilter = selected;
        }
        return path;
    }
    // The dialog adds the extension itself, so that it asks before replacing the file that
    // has the full name; the extension follows the filter the user picks.
    QFileDialog dialog(request.parent, request.caption, QString(), request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix(request.filter));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) { dialog.setDefaultSuffix(defaultSuffix(filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    if (request.chosenFilter != nullptr) {
        *request.chosenFilter = dialog.selectedNameFilter();
    }
    return dialog.selectedFiles().constFirst();
}

FileDialogFunction& currentFunction() {
    static FileDialogFunction function;
    return function;
}

} // namespace

QString askForFile(const FileDialogRequest& request) {
    QString chosen;
    FileDialogRequest asked = request;
    asked.chosenFilter = &chosen;
    const FileDialogFunction& function = currentFunction();
    const QString path = function ? function(asked) : showFileDialog(asked);
    // Only a filter of the list counts; nothing chosen means the first.
    const QStringList filters = request.filter.split(QStringLiteral(";;"));
    if (!filters.contains(chosen)) {
        chosen = filters.constFirst();
    }
    if (request.chosenFilter != nullptr) {
        *request.chosenFilter = chosen;
    }
    if (request.kind == FileDialogKind::Save && !path.isEmpty()) {
        // Some desktop dialogs leave the extension to the program.
        return withDefaultSuffix(path, defaultSuffix(chosen));
    }
    return path;
}

FileDialogFunction setFileDialogFunction(FileDialogFunction function) {
    return std::exchange(currentFunction(), std::move(function));
}

QString defaultSuffix(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

QString withDefaultSuffix(const QString& path, const QString& suffix) {
    if (suffix.isEmpty() || path.isEmpty() || path.endsWith(QLatin1Char('/'))) {
        return path;
    }
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo(name).suffix().isEmpty() && !name.startsWith(QLatin1Char('.'))) {
        return path;
    }
    if (name.startsWith(QLatin1Char('.')) && name.indexOf(QLatin1Char('.'), 1) > 0) {
        return path; // ".hidden.lpfp"
    }
    return path.endsWith(QLatin1Char('.')) ? path + suffix : path + QLatin1Char('.') + suffix;
}
