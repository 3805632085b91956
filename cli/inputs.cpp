#include "cli/inputs.h"

#include <optional>

std::string problemText(const PreparedInput& prepared) {
    switch (prepared.problem) {
    case InputProblem::Unreadable:
        // A file that is not there or cannot be opened is named without the system's words.
        return prepared.errorNumber != 0 ? "Cannot read file " + prepared.input.path : prepared.reason;
    case InputProblem::NotTheRecord:
        return prepared.record == RecordKind::App ? "Not a valid APPConfiguration XML file"
                                                  : "Not a valid MCConfiguration XML file";
    case InputProblem::Damaged:
        return prepared.input.path + ": " + prepared.reason;
    case InputProblem::ValuesRefused:
    case InputProblem::None:
        break;
    }
    return {};
}

std::optional<PreparedInput> readXmlInput(const std::string& path, RecordKind record, const InputReader& read,
                                          FlowResult& result) {
    PreparedInput prepared = prepareXmlInput(path, record, read);
    if (const std::string problem = problemText(prepared); !problem.empty()) {
        logError(result, problem);
        return std::nullopt;
    }
    return prepared;
}
