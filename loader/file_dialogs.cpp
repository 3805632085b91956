#include "loader/file_dialogs.h"

#include <QFileDialog>

#include <utility>

namespace {

QString showFileDialog(const FileDialogRequest& request) {
    if (request.kind == FileDialogKind::Open) {
        QString selected = request.filter;
        return QFileDialog::getOpenFileName(request.parent, request.caption, QString(), request.filter,
                                            &selected);
    }
    return QFileDialog::getSaveFileName(request.parent, request.caption, QString(), request.filter);
}

FileDialogFunction& currentFunction() {
    static FileDialogFunction function;
    return function;
}

} // namespace

QString askForFile(const FileDialogRequest& request) {
    const FileDialogFunction& function = currentFunction();
    return function ? function(request) : showFileDialog(request);
}

FileDialogFunction setFileDialogFunction(FileDialogFunction function) {
    return std::exchange(currentFunction(), std::move(function));
}
