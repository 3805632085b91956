#include "core/device/backend_choice.h"
#include "loader/mainwindow.h"
#include "varko5_version.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(VARKO5_VERSION));
    // Lets the desktop match the window to its menu entry and show the installed icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.varko5.lpfp_loader"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("lpfp_loader")));
    return runLoader(app, backendFromEnvironment());
}
