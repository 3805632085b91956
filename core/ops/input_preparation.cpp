#include "core/ops/input_preparation.h"

#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/lpfp/lpfp.h"

#include <tinyxml2.h>

namespace {

// The text of path, or the reading failure in prepared.
bool readInto(PreparedInput& prepared, const InputReader& read) {
    try {
        prepared.input.text = read ? read(prepared.input.path) : readInputFile(prepared.input.path);
        return true;
    } catch (const InputFileError& error) {
        prepared.problem = InputProblem::Unreadable;
        prepared.reason = error.what();
        prepared.errorNumber = error.errorNumber();
        // A file that is not there or cannot be opened is, for an XML input, no document.
        if (prepared.record != RecordKind::None && error.errorNumber() != 0)
            prepared.problem = InputProblem::NotTheRecord;
        return false;
    }
}

void checkValues(PreparedInput& prepared) {
    prepared.violations = checkInputValues(prepared.input, prepared.record);
    if (!prepared.violations.empty())
        prepared.problem = InputProblem::ValuesRefused;
}

} // namespace

PreparedInput prepareXmlInput(const std::string& path, RecordKind record, const InputReader& read) {
    PreparedInput prepared;
    prepared.input.path = path;
    prepared.record = record;
    if (!readInto(prepared, read))
        return prepared;
    if (xmlRecordNameOf(prepared.input.text) != (record == RecordKind::App ? APP_ROOT : MC_ROOT)) {
        prepared.problem = InputProblem::NotTheRecord;
        return prepared;
    }
    checkValues(prepared);
    return prepared;
}

PreparedInput prepareLpfpInput(const std::string& path, const InputReader& read) {
    PreparedInput prepared;
    prepared.input.path = path;
    if (!readInto(prepared, read))
        return prepared;
    std::string plainText;
    try {
        plainText = decodeLpfp(prepared.input.text);
    } catch (const std::exception& error) {
        prepared.problem = InputProblem::Damaged;
        prepared.reason = error.what();
        return prepared;
    }
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    const tinyxml2::XMLElement* lpfp =
        document.Parse(plainText.data(), plainText.size()) == tinyxml2::XML_SUCCESS
            ? document.FirstChildElement("LPFP")
            : nullptr;
    if (lpfp == nullptr || lpfp->FirstChildElement(APP_ROOT) == nullptr ||
        lpfp->FirstChildElement(MC_ROOT) == nullptr) {
        prepared.problem = InputProblem::Damaged;
        prepared.reason = INVALID_CONFIGURATION_FILE;
        return prepared;
    }
    checkValues(prepared);
    return prepared;
}
