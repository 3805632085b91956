#include "cli/inputs.h"

#include "core/config/file_io.h"
#include "core/ops/config_source.h"

#include <spdlog/spdlog.h>

std::optional<ApplyInput> readXmlInput(const std::string& path, RecordKind record) {
    const bool app = record == RecordKind::App;
    ApplyInput input{path, {}};
    try {
        input.text = readInputFile(path);
    } catch (const InputFileError& error) {
        // A file that is not there or cannot be opened is no document, as it always was.
        if (error.errorNumber() == 0) {
            spdlog::error("{}", error.what());
            return std::nullopt;
        }
    }
    if (xmlRecordNameOf(input.text) != (app ? "APPConfiguration" : "MCConfiguration")) {
        spdlog::error(app ? "Not a valid APPConfiguration XML file" : "Not a valid MCConfiguration XML file");
        return std::nullopt;
    }
    return input;
}
