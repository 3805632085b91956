#pragma once
// The result of a flow as a JSON document, for the software of a production line. The schema
// is docs/lpfp_cli-result.schema.json.

#include "cli/flow_result.h"

#include <string>
#include <vector>

// flow: the flow's name; deviceReports: one per device worked on (none for the converters and
// for comparisons of files only, whose outcome is then given by generalReport at the top level).
// interrupted: a signal stopped the command.
std::string resultDocument(const std::string& flow, int status, bool comparison,
                           const std::vector<FlowResult>& deviceReports, const FlowResult& generalReport,
                           bool interrupted = false);

// Writes the document to path ("-": standard output). Throws std::runtime_error naming the
// target when it cannot be written completely.
void writeResultDocument(const std::string& path, const std::string& document);
