#pragma once
// The window: one panel per device found at start-up and, for advanced users, the converter
// between an LPFP file and a pair of XML documents.

#include <QMainWindow>

#include <memory>

class QApplication;
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Lists the devices and attaches a panel to each. Throws std::runtime_error with the
    // user-facing text when the list cannot be built or a device cannot be opened.
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_convertXMLButton_clicked();
    void on_convertLPFPButton_clicked();

private:
    // Help -> About: the program's name and version, which a support request needs.
    void showAbout();

    std::unique_ptr<Ui::MainWindow> ui_;
};

// The program after the application object exists: builds and shows the window and runs the
// event loop. When the window cannot be built, the reason is shown in a critical box "ERROR"
// and the result is 1. With VARKO5_SCREENSHOT set to a path, the shown window is saved there
// as an image and the program ends.
int runLoader(QApplication& app);
