#include "core/ops/input_preparation.h"

#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/lpfp/lpfp.h"

#include <tinyxml2.h>

namespace {

// The text of path, or the reading failure in prepared. xml: a file that is not there or cannot
// be opened is, for an XML input, no document.
bool readInto(PreparedInput& prepared, const InputReader& read, bool xml) {
    try {
        prepared.input.text = read ? read(prepared.input.path) : readInputFile(prepared.input.path);
        return true;
    } catch (const InputFileError& error) {
        prepared.problem = InputProblem::Unreadable;
        prepared.reason = error.what();
        prepared.errorNumber = error.errorNumber();
        if (xml && error.errorNumber() != 0)
            prepared.problem = InputProblem::NotTheRecord;
        return false;
    }
}

void checkValues(PreparedInput& prepared) {
    prepared.violations = checkInputValues(prepared.input, prepared.record);
    if (!prepared.violations.empty())
        prepared.problem = InputProblem::ValuesRefused;
}

// An XML document that holds wanted (App or Mc), or either record for None.
PreparedInput prepareXml(const std::string& path, RecordKind wanted, const InputReader& read) {
    PreparedInput prepared;
    prepared.input.path = path;
    prepared.record = wanted;
    if (!readInto(prepared, read, true))
        return prepared;
    const std::string found = xmlRecordNameOf(prepared.input.text);
    const RecordKind held = found == APP_ROOT  ? RecordKind::App
                            : found == MC_ROOT ? RecordKind::Mc
                                               : RecordKind::None;
    if (held == RecordKind::None || (wanted != RecordKind::None && held != wanted)) {
        prepared.problem = InputProblem::NotTheRecord;
        prepared.foundRecord = found;
        return prepared;
    }
    prepared.record = held;
    checkValues(prepared);
    return prepared;
}

} // namespace

std::string InputsReadOnce::read(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    auto found = read_.find(path);
    if (found == read_.end()) {
        Outcome outcome;
        try {
            outcome.text = readInputFile(path);
        } catch (const InputFileError& error) {
            outcome.error = error;
        }
        found = read_.emplace(path, std::move(outcome)).first;
    }
    if (found->second.error)
        throw *found->second.error;
    return found->second.text;
}

PreparedInput prepareXmlInput(const std::string& path, RecordKind record, const InputReader& read) {
    return prepareXml(path, record, read);
}

PreparedInput prepareLpfpInput(const std::string& path, const InputReader& read) {
    PreparedInput prepared;
    prepared.input.path = path;
    if (!readInto(prepared, read, false))
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

PreparedInput prepareConfigurationInput(const std::string& path, const InputReader& read) {
    return hasLpfpExtension(path) ? prepareLpfpInput(path, read) : prepareXml(path, RecordKind::None, read);
}

bool readPreparedRecords(const PreparedInput& prepared, LpfpConfiguration& records) {
    if (!prepared.ok() && prepared.problem != InputProblem::ValuesRefused)
        return false;
    std::uint64_t keys = 0;
    if (prepared.record == RecordKind::None) {
        LpfpConfiguration read = records;
        std::uint64_t mcKeys = 0;
        if (!lpfpFromPlainText(read, decodeLpfp(prepared.input.text), keys, mcKeys))
            return false;
        records = read;
        return true;
    }
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(prepared.input.text.data(), prepared.input.text.size()) != tinyxml2::XML_SUCCESS)
        return false;
    if (prepared.record == RecordKind::App) {
        APPConfiguration app = records.app;
        if (!appConfigFromXml(app, document.FirstChildElement(APP_ROOT), keys))
            return false;
        records.app = app;
    } else {
        MCConfiguration mc = records.mc;
        if (!mcConfigFromXml(mc, document.FirstChildElement(MC_ROOT), keys))
            return false;
        records.mc = mc;
    }
    return true;
}
