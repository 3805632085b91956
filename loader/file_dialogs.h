#pragma once
// Every file chosen by the user goes through one function object, so that the tests can
// answer in place of the dialog and check what the user would have been asked.

#include <QString>

#include <functional>

class QWidget;

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    FileDialogKind kind;
    QWidget* parent;
    QString caption;
    QString filter; // one filter, or several separated by ";;"
    // When set, receives the filter the user chose (the first one when the dialog does not
    // say), so that a save can follow it.
    QString* chosenFilter = nullptr;
};

using FileDialogFunction = std::function<QString(const FileDialogRequest&)>;

// The chosen path, empty when the user cancelled. A file to save whose name has no extension
// gets the one the chosen filter names first.
QString askForFile(const FileDialogRequest& request);

// Replaces the dialogs (an empty function restores them); returns the previous function.
FileDialogFunction setFileDialogFunction(FileDialogFunction function);

// The extension of a filter's first pattern, without its dot ("LPFP Files(*.lpfp)" gives
// "lpfp"); empty when the first pattern names none. Of several filters, the first counts.
QString defaultSuffix(const QString& filter);
// path, with "." and suffix added when its file name has no extension of its own.
QString withDefaultSuffix(const QString& path, const QString& suffix);
