#pragma once
// How lpfp_cli ends: one status convention and one guard for every flow.
//   0  the flow did what was asked (or there was nothing to do);
//   1  it failed, and the reason was logged;
//   2  --diff and --changed only: a source could not be read.
// --diff and --changed use 0 for "the same" and 1 for "different".

#include "cli/flow_result.h"
#include "core/device/timeout_exception.h"
#include "core/ops/progress.h"

#include <spdlog/spdlog.h>

#include <exception>
#include <stdexcept>
#include <string>

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_DIFF_TROUBLE = 2;

// The device list cannot be built or the chosen device does not open: the device layer's own
// set-up failures, logged as the last-resort handler of main logs what escapes a flow.
class DeviceSetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs a flow body. A silent controller, a reply that cannot be turned into a record, a file
// that cannot be read or written: each ends the flow with its reason logged, kept in result,
// and failureStatus.
template <class Body> int guarded(FlowResult& result, int failureStatus, Body&& body) {
    try {
        return body();
    } catch (const DeviceSetupError& error) {
        spdlog::critical("ERROR: {}", error.what());
        result.noteError(error.what());
    } catch (const std::exception& error) {
        logError(result, describeFailure(error));
    }
    return failureStatus;
}
