#pragma once
// A simulated bridge and controller served on a pseudo-terminal, so that the serial backend
// talks to it across real file descriptors: what lpfp_sim runs, and what the link benchmark
// runs in a thread of its own.

#include "simulator/device.h"

#include <memory>
#include <string>

class PtyServer {
public:
    // Creates the pseudo-terminal for device 0 of the scenario; throws std::runtime_error when
    // it cannot.
    explicit PtyServer(const SimScenario& scenario);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // The terminal's path, for VARKO5_PORTS.
    const std::string& path() const { return path_; }

    // Answers the host until stopFd becomes readable or reaches its end (-1: never). Returns
    // 0, or 1 when the terminal fails. The device is served on the calling thread only.
    int serve(int stopFd);

    const SimulatedDevice& device() const { return *device_; }

private:
    int master_ = -1;
    int terminal_ = -1;
    std::string path_;
    std::unique_ptr<SimulatedDevice> device_;
};
