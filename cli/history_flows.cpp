// Reading the production record: the history of one controller or of all, and one entry's
// configuration as an LPFP file.

#include "cli/exit_status.h"
#include "cli/flows.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/recording.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace {

using json = nlohmann::ordered_json;

// Control characters stored in the record (a serial number is whatever a device reported)
// are shown, not sent to the terminal.
std::string printable(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += kDigits[byte >> 4];
            shown += kDigits[byte & 0xF];
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string inputNames(const RecordEntry& entry) {
    std::string names;
    for (const InputStamp& input : entry.inputs)
        names += (names.empty() ? "" : ", ") + input.fileName;
    return names.empty() ? "-" : names;
}

void printTable(std::ostream& out, const std::vector<RecordEntry>& entries) {
    const std::vector<std::string> headings = {"ID",       "Started (UTC)", "Serial",  "Chip ID",
                                               "Firmware", "Operation",     "Outcome", "Station",
                                               "Operator", "Files"};
    std::vector<std::vector<std::string>> rows;
    for (const RecordEntry& entry : entries) {
        rows.push_back({std::to_string(entry.id), entry.startedAt, printable(entry.serial), entry.chipId,
                        entry.firmware.empty() ? "-" : entry.firmware, entry.operation, entry.outcome,
                        printable(entry.station), printable(entry.operatorName),
                        printable(inputNames(entry))});
    }
    std::vector<std::size_t> widths(headings.size());
    for (std::size_t c = 0; c < headings.size(); ++c) {
        widths[c] = headings[c].size();
        for (const auto& row : rows)
            widths[c] = std::max(widths[c], row[c].size());
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            text += cells[c];
            if (c + 1 < cells.size())
                text += std::string(widths[c] - cells[c].size() + 2, ' ');
        }
        out << text << '\n';
    };
    line(headings);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        line(rows[i]);
        // What went wrong, under the entry it belongs to.
        const RecordEntry& entry = entries[i];
        if (!entry.reason.empty())
            out << "    " << printable(entry.reason) << '\n';
        for (const RecordedRecord& record : entry.records) {
            for (const RecordedDifference& difference : record.differences) {
                out << "    " << record.record << ' ' << printable(difference.field) << ": "
                    << printable(difference.sent) << " -> " << printable(difference.readBack) << '\n';
            }
        }
    }
    out << entries.size() << (entries.size() == 1 ? " entry" : " entries") << '\n';
}

json entryDocument(const RecordEntry& entry) {
    json inputs = json::array();
    for (const InputStamp& input : entry.inputs)
        inputs.push_back({{"file", input.fileName}, {"sha256", input.sha256}});
    json records = json::object();
    for (const RecordedRecord& record : entry.records) {
        json differences = json::array();
        for (const RecordedDifference& difference : record.differences)
            differences.push_back(
                {{"field", difference.field}, {"sent", difference.sent}, {"read_back", difference.readBack}});
        records[record.record] = {{"outcome", record.outcome},
                                  {"reason", record.reason},
                                  {"sent", record.sentHex},
                                  {"read_back", record.readBackHex},
                                  {"differences", differences}};
    }
    const auto orNull = [](const std::string& text) { return text.empty() ? json(nullptr) : json(text); };
    return {{"id", entry.id},
            {"started_at", entry.startedAt},
            {"finished_at", orNull(entry.finishedAt)},
            {"outcome", entry.outcome},
            {"reason", entry.reason},
            {"station", entry.station},
            {"operator", entry.operatorName},
            {"program", entry.program},
            {"program_version", entry.programVersion},
            {"operation", entry.operation},
            {"serial", entry.serial},
            {"chip_id", entry.chipId},
            {"firmware", entry.firmware},
            {"inputs", inputs},
            {"backup", orNull(entry.backupPath)},
            {"output", orNull(entry.outputPath)},
            {"records", records}};
}

// JSON text is UTF-8; what the record holds may not be, and is then shown with replacements
// rather than refused.
std::string documentText(const json& document) {
    return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace

FlowResult historyFlow(const std::string& destination, const std::string& serial, const std::string& since,
                       const std::string& jsonPath, std::ostream& out) {
    FlowResult result;
    if (destination.empty()) {
        logError(result, "No record to read: give --record DEST or set VARKO5_RECORD");
        return result.ended(EXIT_FAILED);
    }
    try {
        HistoryQuery query;
        query.serial = serial == "all" ? "" : serial;
        query.since = since.empty() ? "" : sinceTimestamp(since);
        RecordStore store(parseDestination(destination), true);
        const std::vector<RecordEntry> entries = store.history(query);
        if (jsonPath.empty()) {
            printTable(out, entries);
            out.flush();
            return result.ended(EXIT_OK);
        }
        json list = json::array();
        for (const RecordEntry& entry : entries)
            list.push_back(entryDocument(entry));
        const json document = {{"tool", "lpfp_cli"},
                               {"record", store.destination().shown},
                               {"serial", serial},
                               {"since", query.since.empty() ? json(nullptr) : json(query.since)},
                               {"schema_version", RECORD_SCHEMA_VERSION},
                               {"entries", list}};
        if (jsonPath == "-") {
            std::cout << documentText(document);
            std::cout.flush();
            return result.ended(EXIT_OK);
        }
        std::ofstream file(jsonPath, std::ios::binary | std::ios::trunc);
        file << documentText(document);
        file.close();
        if (!file) {
            logError(result, "Cannot write " + jsonPath);
            return result.ended(EXIT_FAILED);
        }
        return result.ended(EXIT_OK);
    } catch (const std::exception& error) {
        logError(result, error.what());
        return result.ended(EXIT_FAILED);
    }
}

FlowResult historyExportFlow(const std::string& destination, const std::string& id,
                             const std::string& lpfpPath, std::ostream& out, std::ostream& data) {
    FlowResult result;
    if (destination.empty()) {
        logError(result, "No record to read: give --record DEST or set VARKO5_RECORD");
        return result.ended(EXIT_FAILED);
    }
    if (lpfpPath.empty()) {
        logError(result, "--history-export needs the LPFP file to write: -o FILE.lpfp");
        return result.ended(EXIT_FAILED);
    }
    if (id.empty() || id.size() > 18 || id.find_first_not_of("0123456789") != std::string::npos) {
        logError(result, "--history-export takes an entry number, not \"" + id + "\"");
        return result.ended(EXIT_FAILED);
    }
    try {
        RecordStore store(parseDestination(destination), true);
        const auto entry = store.entry(std::stoll(id));
        if (!entry) {
            logError(result, "No entry " + id + " in the record " + store.destination().shown);
            return result.ended(EXIT_FAILED);
        }
        const std::string described = "Entry " + id + " (" + printable(entry->serial) + ", " +
                                      entry->operation + ", " + entry->startedAt + ")";
        if (lpfpPath == STANDARD_OUTPUT) {
            // The file's bytes alone, as --saveLpfp - writes them.
            data << encodeLpfp(buildLpfpText(entryConfiguration(*entry))) << std::flush;
            out << described << " written to standard output" << std::endl;
            return result.ended(EXIT_OK);
        }
        writeLpfpFile(entryConfiguration(*entry), lpfpPath);
        result.outputs.push_back(lpfpPath);
        out << described << " saved to: " << lpfpPath << std::endl;
        return result.ended(EXIT_OK);
    } catch (const std::exception& error) {
        logError(result, error.what());
        return result.ended(EXIT_FAILED);
    }
}
