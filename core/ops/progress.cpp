#include "core/ops/progress.h"

#include "core/device/timeout_exception.h"

std::string describeFailure(const std::exception& error) {
    if (dynamic_cast<const timeout_exception*>(&error) != nullptr)
        return TIMED_OUT_TEXT;
    return error.what();
}
