#include "cli/inputs.h"

#include "core/config/file_io.h"
#include "core/ops/config_source.h"

#include <spdlog/spdlog.h>

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

std::optional<ApplyInput> readXmlInput(const std::string& path, RecordKind record, FlowResult& result) {
    const bool app = record == RecordKind::App;
    ApplyInput input{path, {}};
    try {
        input.text = readInputOnce(path);
    } catch (const InputFileError& error) {
        // A file that is not there or cannot be opened is no document, as it always was.
        if (error.errorNumber() == 0) {
            logError(result, error.what());
            return std::nullopt;
        }
    }
    if (xmlRecordNameOf(input.text) != (app ? "APPConfiguration" : "MCConfiguration")) {
        logError(result,
                 app ? "Not a valid APPConfiguration XML file" : "Not a valid MCConfiguration XML file");
        return std::nullopt;
    }
    return input;
}
