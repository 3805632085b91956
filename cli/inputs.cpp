#include "cli/inputs.h"

#include "core/config/file_io.h"

#include <map>
#include <mutex>
#include <optional>

namespace {

struct ReadOutcome {
    std::string text;
    std::optional<InputFileError> error;
};

} // namespace

std::string readInputOnce(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, ReadOutcome> read;
    // Held while reading, so a second worker waits for the first instead of racing it for
    // the pipe's bytes.
    const std::lock_guard<std::mutex> lock(mutex);
    auto found = read.find(path);
    if (found == read.end()) {
        ReadOutcome outcome;
        try {
            outcome.text = readInputFile(path);
        } catch (const InputFileError& error) {
            outcome.error = error;
        }
        found = read.emplace(path, std::move(outcome)).first;
    }
    if (found->second.error)
        throw *found->second.error;
    return found->second.text;
}

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

std::optional<PreparedInput> readXmlInput(const std::string& path, RecordKind record, FlowResult& result) {
    PreparedInput prepared = prepareXmlInput(path, record, readInputOnce);
    if (const std::string problem = problemText(prepared); !problem.empty()) {
        logError(result, problem);
        return std::nullopt;
    }
    return prepared;
}
