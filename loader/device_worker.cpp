#include "loader/device_worker.h"

#include <spdlog/spdlog.h>

#include <atomic>
#include <exception>
#include <utility>

// The half of a worker that lives on the worker thread: it owns the session, so the device is
// touched by no other thread.
class DeviceWorkerResident : public QObject {
    Q_OBJECT

public:
    std::atomic<bool> stopping{false};

    // Runs on the worker thread.
    void identify(const std::shared_ptr<DeviceBackend>& backend, const DeviceInfoNode& node, int index) {
        session_.reset();
        ControllerIdentity identity;
        if (stopping) {
            return;
        }
        try {
            if (backend)
                session_ = std::make_unique<ControllerSession>(*backend, node, index);
            else
                throw device_open_error(STATUS_INVALID_HANDLE, "No device to open");
        } catch (const std::exception& error) {
            identity.problem = openProblem(error);
            const auto* open = dynamic_cast<const device_open_error*>(&error);
            identity.detail = open != nullptr && !open->reason().empty() ? open->reason() : error.what();
            spdlog::error("{}", error.what());
            emit identified(identity);
            return;
        }
        identity.opened = true;
        identity.chipId = session_->chipId();
        // The chip identifier is known before the controller has answered anything.
        emit opened(identity.chipId);
        try {
            identity.version = session_->identify();
            if (!identity.version.valid) {
                spdlog::error("Failed at getting ARM Version.");
                identity.problem = ControllerIdentity::Problem::NoVersion;
            } else if (!session_->writable()) {
                identity.problem = ControllerIdentity::Problem::Firmware;
            }
        } catch (const timeout_exception&) {
            spdlog::error("{}", TIMED_OUT_TEXT);
            identity.problem = ControllerIdentity::Problem::NoAnswer;
            identity.detail = TIMED_OUT_TEXT;
        } catch (const std::exception& error) {
            spdlog::error("Failed at getting ARM Version.");
            spdlog::error("{}", error.what());
            identity.problem = ControllerIdentity::Problem::NoVersion;
            identity.detail = error.what();
        }
        emit identified(identity);
    }

    // Runs on the worker thread.
    void run(quint64 id, const DeviceWorker::Work& work) {
        if (stopping) {
            return;
        }
        QString error;
        if (!session_) {
            error = QStringLiteral("No controller attached");
        } else {
            const ProgressFn progress = [this, id](const OpEvent& event) { emit stepped(id, event); };
            try {
                work(*session_, progress);
            } catch (const std::exception& failure) {
                // Nothing may escape into the thread's event loop; the panel reports it.
                error = QString::fromStdString(describeFailure(failure));
            } catch (...) {
                error = QStringLiteral("Unknown failure");
            }
        }
        emit finished(id, error);
    }

    // After the thread has ended.
    void closeDevice() { session_.reset(); }

signals:
    void opened(quint32 chipId);
    void identified(const ControllerIdentity& identity);
    void stepped(quint64 id, const OpEvent& event);
    void finished(quint64 id, const QString& error);

private:
    static ControllerIdentity::Problem openProblem(const std::exception& error) {
        if (const auto* open = dynamic_cast<const device_open_error*>(&error);
            open != nullptr && open->status() == STATUS_DEVICE_IN_USE) {
            return ControllerIdentity::Problem::InUse;
        }
        return ControllerIdentity::Problem::OpenFailed;
    }

    std::unique_ptr<ControllerSession> session_;
};

DeviceWorker::DeviceWorker(QObject* parent) : QObject(parent), resident_(new DeviceWorkerResident) {
    qRegisterMetaType<ControllerIdentity>("ControllerIdentity");
    qRegisterMetaType<OpEvent>("OpEvent");
    thread_.setObjectName(QStringLiteral("device worker"));
    resident_->moveToThread(&thread_);
    // The resident emits on its thread; these run here, in the order it emitted.
    connect(resident_, &DeviceWorkerResident::identified, this, [this](const ControllerIdentity& identity) {
        emit identified(identity);
        ended();
    });
    connect(resident_, &DeviceWorkerResident::opened, this, &DeviceWorker::opened);
    connect(resident_, &DeviceWorkerResident::stepped, this, [this](quint64 id, const OpEvent& event) {
        const auto entry = entries_.find(id);
        if (entry != entries_.end() && entry->second.onProgress) {
            entry->second.onProgress(event);
        }
    });
    connect(resident_, &DeviceWorkerResident::finished, this, [this](quint64 id, const QString& error) {
        const auto entry = entries_.find(id);
        Done done;
        if (entry != entries_.end()) {
            done = std::move(entry->second.done);
            entries_.erase(entry);
        }
        // Idle before the result is shown, so that a box of the result finds the buttons
        // enabled again.
        ended();
        if (done) {
            done(error);
        }
    });
    thread_.start();
}

DeviceWorker::~DeviceWorker() {
    resident_->stopping = true;
    thread_.quit();
    thread_.wait();
    resident_->closeDevice();
    delete resident_;
}

void DeviceWorker::openAndIdentify(std::shared_ptr<DeviceBackend> backend, const DeviceInfoNode& node,
                                   int index) {
    started();
    DeviceWorkerResident* resident = resident_;
    QMetaObject::invokeMethod(
        resident_,
        [resident, backend = std::move(backend), node, index] { resident->identify(backend, node, index); },
        Qt::QueuedConnection);
}

void DeviceWorker::submit(Work work, ProgressHandler onProgress, Done done) {
    const quint64 id = nextId_++;
    entries_[id] = Entry{std::move(onProgress), std::move(done)};
    started();
    DeviceWorkerResident* resident = resident_;
    QMetaObject::invokeMethod(
        resident_, [resident, id, work = std::move(work)] { resident->run(id, work); }, Qt::QueuedConnection);
}

void DeviceWorker::started() {
    if (++pending_ == 1) {
        emit busyChanged(true);
    }
}

void DeviceWorker::ended() {
    if (pending_ > 0 && --pending_ == 0) {
        emit busyChanged(false);
    }
}

#include "device_worker.moc"
