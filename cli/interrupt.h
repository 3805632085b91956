#pragma once
// SIGINT and SIGTERM for lpfp_cli. The first one only asks the work to stop: the exchange in
// progress ends whole, nothing more is sent, and the run ends at its next safe point with what
// it did said and the status 128 + the signal's number (130, 143). A second one ends the
// process at once, as the signal always would.

#include "core/ops/cancellation.h"

namespace interrupt {

// Takes over the two signals; call once, at the start of main, before any other thread starts.
void install();
// Asked to stop by the first signal.
Cancellation token();
// The signal that asked to stop; 0 while none did.
int received();
// 128 + received().
int exitStatus();

} // namespace interrupt
