#pragma once
// The XML documents lpfp_cli is given, read once each: a pipe ("<(command)") serves as well as a
// file, and what is checked is what is used.

#include "cli/flow_result.h"
#include "core/ops/apply.h"

#include <optional>
#include <string>

// The whole text of an input, read at most once in a run: when several devices are worked at
// once, every worker asks for the same inputs, and a pipe can be read only once. Later calls
// get what the first got, its failure included (InputFileError, as readInputFile throws).
std::string readInputOnce(const std::string& path);

// The document at path, which must hold the record (App or Mc). Nothing, with the reason logged
// and kept in result, when it cannot serve: a file that is not there or cannot be opened, does not parse or
// holds another record gets "Not a valid APPConfiguration XML file" (or MC); what is no file or pipe at all,
// or a pipe that never delivers, the reading failure's own message.
std::optional<ApplyInput> readXmlInput(const std::string& path, RecordKind record, FlowResult& result);
