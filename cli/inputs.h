#pragma once
// The inputs lpfp_cli is given, read once each (a pipe, "<(command)", serves as well as a file)
// and prepared by core/ops before any device is touched.

#include "cli/flow_result.h"
#include "core/ops/input_preparation.h"

#include <optional>
#include <string>

// The XML document at path, which must hold the record (App or Mc), read with read and
// prepared. When it cannot
// serve, the reason is logged and kept in result: "Not a valid APPConfiguration XML file" (or MC)
// for a file that is not there, cannot be opened, does not parse or holds another record; the
// reading failure's own message for what is no file or pipe at all, or a pipe that never
// delivers. Its values are checked but not judged here (see printValueRefusal).
std::optional<PreparedInput> readXmlInput(const std::string& path, RecordKind record, const InputReader& read,
                                          FlowResult& result);

// The words of a prepared input's problem, as the console says it; empty for ValuesRefused and
// None.
std::string problemText(const PreparedInput& prepared);
