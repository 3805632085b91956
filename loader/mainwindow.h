#pragma once
// The window: one panel per device, in a scrolling area (or, with none, a hint), and, for
// advanced users, the converter between an LPFP file and a pair of XML documents, above the
// panels. Devices > Rescan lists the bridges again. The window's own result boxes, like the
// panels', are not modal.
//
// Closing the window while panels are working does not cut an exchange short: the window
// stays open (its panels disabled) until every running operation has ended, drops their
// results (they go to the log, not into boxes), then closes. Destroying the window without
// closing it waits for the running operations in the same way.

#include <QMainWindow>
#include <QString>

#include <stdexcept>

#include <memory>
#include <vector>

class QAction;
class QApplication;
class QCloseEvent;
class QLabel;
class QShowEvent;
class RecordingSource;
class varko5ConfigWidget;
class DeviceBackend;
struct DeviceInfoNode;
namespace Ui {
class MainWindow;
}

// The device list could not be built: what() is the system's text, reason what it means and
// what the listing logged on its way.
class DeviceListError : public std::runtime_error {
public:
    DeviceListError(const std::string& text, QString reason)
        : std::runtime_error(text), reason_(std::move(reason)) {}
    const QString& reason() const { return reason_; }

private:
    QString reason_;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Lists the devices and gives each a panel; the panels open and identify their
    // controllers in their own workers. Throws DeviceListError with the user-facing text
    // when the list cannot be built.
    // The window lists and opens its devices from backend.
    explicit MainWindow(std::shared_ptr<DeviceBackend> backend, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The panels in the order they were created.
    std::vector<varko5ConfigWidget*> panels() const;
    // Lists the bridges again: a new bridge gets a panel, placed by serial number; a panel
    // whose bridge is gone is marked disconnected (and can then be removed); a listed bridge
    // whose panel could not use it, or lost it, is tried again. A list that cannot be built
    // is reported with its reason.
    void rescanDevices();
    // Sizes the window to show its panels, within room (the screen's free area), frame
    // included even before the window manager has added one; what does not fit scrolls.
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
    // inSerialOrder: placed among the panels by serial number (a bridge found by Rescan);
    // otherwise after them (the driver's order, at start-up).
    varko5ConfigWidget* addPanel(const DeviceInfoNode& node, int index, bool inSerialOrder);
    // Takes away the panel of a bridge that is gone, at the user's request.
    void removePanel(varko5ConfigWidget* panel);
    // The hint of an empty window, shown while there is no panel.
    void updateHint();
    bool anyPanelBusy() const;
    void fitToScreen();

    // Shows in the status bar where the panels record, or that they do not.
    void showRecording();

    std::shared_ptr<DeviceBackend> backend_;
    std::unique_ptr<Ui::MainWindow> ui_;
    // Where the panels record (VARKO5_RECORD), opened by the first worker that needs it.
    std::shared_ptr<RecordingSource> recording_;
    QLabel* recordingLabel_ = nullptr;
    QAction* rescanAction_ = nullptr;
    QLabel* noDeviceHint_ = nullptr;
    bool closing_ = false;
    bool fitted_ = false;
};

// The program after the application object exists: builds and shows the window and runs the
// event loop. When the window cannot be built, the reason is shown in a critical box "ERROR"
// and the result is 1. With VARKO5_SCREENSHOT set to a path, the shown window is saved there
// as an image and the program ends.
int runLoader(QApplication& app, std::shared_ptr<DeviceBackend> backend);
