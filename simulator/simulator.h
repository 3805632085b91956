#pragma once
// The simulated bridge and controller in one include: scenario, records, device and the
// in-process backend.

#include "simulator/backend.h"
#include "simulator/device.h"
#include "simulator/records.h"
#include "simulator/scenario.h"
