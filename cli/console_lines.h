#pragma once
// What lpfp_cli says: the device block, the chip identifier and version lines on the report
// stream, the progress of an apply and the refusal of values through the logger, the
// differences of a comparison.

#include "cli/flow_result.h"
#include "core/ops/apply.h"
#include "core/ops/session.h"

#include <ostream>
#include <string>
#include <vector>

void printDeviceBlock(std::ostream& out, const DeviceInfoNode& node, int index);
void printChipId(std::ostream& out, std::uint32_t chipId);
void printVersion(std::ostream& out, const FirmwareVersion& version);

// The lines each apply shows, in the words its flow has always used; the report lines go to
// out, and the first failure is kept in result.
enum class ApplyWording { XmlFiles, LpfpFile };
ProgressFn applyProgressPrinter(ApplyWording wording, std::ostream& out, FlowResult& result);

// After an apply that a stop request reached: "Interrupted", then each record asked for with
// whether it was written and verified, and the backup that holds what the controller had before.
void printInterruption(const ApplyResult& apply);

// The refusal of an input for its values, one error line per key after a heading; nothing when
// there are no violations. The heading is kept as result's error.
void printValueRefusal(FlowResult& result, const std::string& path,
                       const std::vector<ValueViolation>& violations);

// "<record> <key>: <left> -> <right>", one line per difference.
void printDifferences(std::ostream& out, const std::vector<FieldDifference>& differences);
