#pragma once
// Each panel's controller lives on a thread of its own, so that no exchange with it, however
// slow or silent the controller, holds up the window or the other panels. The device is
// opened, identified and used only on that thread; what the work reports comes back to the
// window's thread as queued signals, one per step, while the work goes on.

#include "core/device/arm_link.h"
#include "core/device/device_list.h"
#include "core/ops/progress.h"
#include "core/ops/session.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QThread>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

// What opening and identifying a controller found out.
struct ControllerIdentity {
    enum class Problem : std::uint8_t {
        None,       // firmware 5.2, ready for work
        OpenFailed, // the device could not be opened
        InUse,      // another program holds the port
        NoAnswer,   // the controller did not answer in time
        NoVersion,  // the controller's version reply could not be read
        Firmware,   // a firmware other than 5.2
    };
    Problem problem = Problem::None;
    bool opened = false;
    std::uint32_t chipId = 0;
    FirmwareVersion version{};
    std::string detail; // the failure's own text, when there was one
};

Q_DECLARE_METATYPE(ControllerIdentity)
Q_DECLARE_METATYPE(OpEvent)

class DeviceWorkerResident;

class DeviceWorker : public QObject {
    Q_OBJECT

public:
    // Runs on the worker thread with the open controller; progress sends one event on its way.
    using Work = std::function<void(ControllerSession& session, const ProgressFn& progress)>;
    // Run on this object's thread, for each event of the work, in order.
    using ProgressHandler = std::function<void(const OpEvent& event)>;
    // Run on this object's thread once the work has ended. error is empty when the work ran
    // to its end; otherwise it says why it did not run or what escaped it.
    using Done = std::function<void(const QString& error)>;

    explicit DeviceWorker(QObject* parent = nullptr);
    // Lets the running work end, drops the work still queued, and closes the device; waits
    // for the worker thread, so it can take as long as one exchange.
    ~DeviceWorker() override;
    DeviceWorker(const DeviceWorker&) = delete;
    DeviceWorker& operator=(const DeviceWorker&) = delete;

    // Open the listed device from the backend (closing one opened before) and identify its
    // controller; identified() follows. index is the device's place in its list, for messages.
    void openAndIdentify(std::shared_ptr<DeviceBackend> backend, const DeviceInfoNode& node, int index);

    // Queues work for the controller; every piece runs after the one before has ended.
    void submit(Work work, ProgressHandler onProgress, Done done);

    // Work (identification included) queued or running.
    bool busy() const { return pending_ > 0; }

signals:
    void busyChanged(bool busy);
    // The device is open; identification follows.
    void opened(quint32 chipId);
    void identified(const ControllerIdentity& identity);

private:
    void started();
    void ended();

    DeviceWorkerResident* resident_ = nullptr; // lives on thread_
    QThread thread_;
    struct Entry {
        ProgressHandler onProgress;
        Done done;
    };
    std::map<quint64, Entry> entries_;
    quint64 nextId_ = 1;
    int pending_ = 0;
};
