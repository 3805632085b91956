#pragma once
// The window: one panel per device, in a scrolling area, and, for advanced users, the
// converter between an LPFP file and a pair of XML documents. Devices > Rescan lists the
// bridges again.
//
// Closing the window while panels are working does not cut an exchange short: the window
// stays open (its panels disabled) until every running operation has ended, drops their
// results (they go to the log, not into boxes), then closes. Destroying the window without
// closing it waits for the running operations in the same way.

#include <QMainWindow>

#include <memory>
#include <vector>

class QAction;
class QApplication;
class QCloseEvent;
class QShowEvent;
class varko5ConfigWidget;
struct DeviceInfoNode;
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Lists the devices and gives each a panel; the panels open and identify their
    // controllers in their own workers. Throws std::runtime_error with the user-facing text
    // when the list cannot be built.
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The panels in the order they were created.
    std::vector<varko5ConfigWidget*> panels() const;
    // Lists the bridges again: a new bridge gets a panel, a panel whose bridge is gone is
    // marked disconnected, and a listed bridge whose panel could not use it is tried again.
    void rescanDevices();
    // Sizes the window to show its panels, within room (the screen's free area); what does
    // not fit scrolls.
    void fitToRoom(const QSize& room);
    QAction* rescanAction() const { return rescanAction_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void on_convertXMLButton_clicked();
    void on_convertLPFPButton_clicked();

private:
    // Help -> About: the program's name and version, which a support request needs.
    void showAbout();
    varko5ConfigWidget* addPanel(const DeviceInfoNode& node, int index);
    bool anyPanelBusy() const;
    void fitToScreen();

    std::unique_ptr<Ui::MainWindow> ui_;
    QAction* rescanAction_ = nullptr;
    bool closing_ = false;
    bool fitted_ = false;
};

// The program after the application object exists: builds and shows the window and runs the
// event loop. When the window cannot be built, the reason is shown in a critical box "ERROR"
// and the result is 1. With VARKO5_SCREENSHOT set to a path, the shown window is saved there
// as an image and the program ends.
int runLoader(QApplication& app);
