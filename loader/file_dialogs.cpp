#include "loader/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

#include <utility>

namespace {

QString showFileDialog(const FileDialogRequest& request) {
    if (request.kind == FileDialogKind::Open) {
        QString selected = request.filter;
        return QFileDialog::getOpenFileName(request.parent, request.caption, QString(), request.filter,
                                            &selected);
    }
    // The dialog adds the extension itself, so that it asks before replacing the file that
    // has the full name.
    QFileDialog dialog(request.parent, request.caption, QString(), request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix(request.filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

FileDialogFunction& currentFunction() {
    static FileDialogFunction function;
    return function;
}

} // namespace

QString askForFile(const FileDialogRequest& request) {
    const FileDialogFunction& function = currentFunction();
    const QString path = function ? function(request) : showFileDialog(request);
    if (request.kind == FileDialogKind::Save && !path.isEmpty()) {
        // Some desktop dialogs leave the extension to the program.
        return withDefaultSuffix(path, defaultSuffix(request.filter));
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
