#include "core/ops/recording.h"

#include "core/config/config_codec.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace {

std::string chipIdText(std::uint32_t chipId) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%08X", chipId);
    return text.data();
}

std::string hex(const std::vector<std::uint8_t>& payload) {
    return toHex(payload.data(), payload.size());
}

const char* recordOutcome(const RecordOutcome& outcome, const ApplyResult& result) {
    if (outcome.verified)
        return outcome_word::VERIFIED;
    if (!outcome.error.empty())
        return outcome_word::FAILED;
    if (outcome.rejected())
        return outcome_word::REFUSED;
    if (outcome.readBack())
        return outcome_word::DIFFERS;
    if (!result.refusedValues.empty())
        return outcome_word::REFUSED;
    return outcome_word::NOT_SENT;
}

void addRecord(RecordEntry& entry, const char* name, const RecordOutcome& outcome,
               const ApplyResult& result) {
    if (!outcome.requested)
        return;
    RecordedRecord record;
    record.record = name;
    record.outcome = recordOutcome(outcome, result);
    record.reason = outcome.error;
    if (record.outcome == std::string(outcome_word::NOT_SENT) ||
        (record.outcome == std::string(outcome_word::REFUSED) && !outcome.sent))
        record.reason = result.error;
    record.sentHex = hex(outcome.sentPayload);
    record.readBackHex = hex(outcome.readBackPayload);
    for (const FieldDifference& difference : outcome.differences)
        record.differences.push_back(
            RecordedDifference{std::string(difference.key), difference.left, difference.right});
    entry.records.push_back(std::move(record));
}

// The entry's word: verified only when everything it wrote was; otherwise the worst that
// happened to any record.
std::string overallOutcome(const RecordEntry& entry, const ApplyResult& result) {
    if (result.ok())
        return outcome_word::VERIFIED;
    for (const char* word : {outcome_word::FAILED, outcome_word::DIFFERS, outcome_word::REFUSED}) {
        for (const RecordedRecord& record : entry.records) {
            if (record.outcome == word)
                return word;
        }
    }
    if (!result.refusedValues.empty())
        return outcome_word::REFUSED;
    return result.error.empty() ? outcome_word::NOT_SENT : outcome_word::FAILED;
}

template <class Record, class Decode>
Record decodeRecord(const RecordedRecord& stored, std::int32_t size, Decode decode, std::int64_t id) {
    // A write's configuration is what was sent; a read's is what was read.
    const std::string& text = stored.sentHex.empty() ? stored.readBackHex : stored.sentHex;
    const std::vector<std::uint8_t> payload = fromHex(text);
    Record record{};
    if (payload.size() != static_cast<std::size_t>(size) || !decode(payload.data(), record))
        throw RecordError("Entry " + std::to_string(id) + " holds no readable " + stored.record +
                          " configuration to export");
    return record;
}

} // namespace

std::string firmwareText(const FirmwareVersion& version) {
    if (!version.valid)
        return "";
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

std::shared_ptr<const Recording> openRecording(const std::string& destination, const std::string& program,
                                               const std::string& version) {
    auto recording = std::make_shared<Recording>();
    recording->store = std::make_shared<RecordStore>(parseDestination(destination));
    recording->program = program;
    recording->version = version;
    return recording;
}

RecordingSource::RecordingSource(std::string destination, std::string program, std::string version)
    : destination_(std::move(destination)), program_(std::move(program)), version_(std::move(version)) {
    if (destination_.empty())
        return;
    try {
        shown_ = parseDestination(destination_).shown;
    } catch (const std::exception& error) {
        problem_ = error.what();
    }
}

std::shared_ptr<const Recording> RecordingSource::get() {
    if (!enabled())
        return nullptr;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!opened_)
        opened_ = openRecording(destination_, program_, version_);
    return opened_;
}

RecordEntry newEntry(const Recording& recording, const ControllerSession& session, const char* operation,
                     std::vector<InputStamp> inputs) {
    RecordEntry entry;
    entry.startedAt = utcTimestampNow();
    entry.station = stationName();
    entry.operatorName = operatorName();
    entry.program = recording.program;
    entry.programVersion = recording.version;
    entry.operation = operation;
    entry.serial = session.serial();
    entry.chipId = chipIdText(session.chipId());
    entry.firmware = firmwareText(session.version());
    entry.inputs = std::move(inputs);
    return entry;
}

void beginEntry(const Recording& recording, RecordEntry& entry) {
    entry.id = recording.store->begin(entry);
}

std::string completeEntry(const Recording& recording, RecordEntry& entry) {
    entry.finishedAt = utcTimestampNow();
    try {
        recording.store->complete(entry);
        return {};
    } catch (const std::exception& error) {
        return "Entry " + std::to_string(entry.id) + " stays incomplete in the record: " + error.what();
    }
}

void describeApply(RecordEntry& entry, const ApplyResult& result) {
    entry.records.clear();
    addRecord(entry, record_word::APP, result.app, result);
    addRecord(entry, record_word::MC, result.mc, result);
    entry.outcome = overallOutcome(entry, result);
    entry.reason = result.error;
    if (entry.reason.empty()) {
        for (const RecordedRecord& record : entry.records) {
            if (!record.reason.empty()) {
                entry.reason = record.reason;
                break;
            }
        }
    }
    entry.backupPath = result.backup ? result.backup->string() : "";
}

void describeRead(RecordEntry& entry, const std::optional<LpfpConfiguration>& records,
                  const std::string& outputPath, const std::string& reason) {
    ReadFindings findings;
    if (records) {
        findings.app = records->app;
        findings.mc = records->mc;
    }
    findings.output = outputPath;
    describeRead(entry, findings, reason);
}

void describeRead(RecordEntry& entry, const ReadFindings& findings, const std::string& reason) {
    entry.records.clear();
    entry.outputPath = findings.output;
    entry.reason = reason;
    entry.outcome = reason.empty() ? outcome_word::READ : outcome_word::FAILED;
    if (findings.app) {
        std::array<std::uint8_t, APP_CONFIG_PAYLOAD_SIZE> app{};
        appConfigToBytes(app.data(), *findings.app);
        entry.records.push_back(
            RecordedRecord{record_word::APP, outcome_word::READ, "", "", toHex(app.data(), app.size()), {}});
    }
    if (findings.mc) {
        std::array<std::uint8_t, MC_CONFIG_PAYLOAD_SIZE> mc{};
        mcConfigToBytes(mc.data(), *findings.mc);
        entry.records.push_back(
            RecordedRecord{record_word::MC, outcome_word::READ, "", "", toHex(mc.data(), mc.size()), {}});
    }
}

std::string recordedRead(const Recording* recording, ControllerSession& session, const char* operation,
                         const std::function<void(ReadFindings&)>& read) {
    ReadFindings findings;
    if (recording == nullptr) {
        read(findings);
        return {};
    }
    RecordEntry entry = newEntry(*recording, session, operation, {});
    try {
        beginEntry(*recording, entry);
    } catch (const std::exception& error) {
        throw RecordError(std::string("Nothing was read from the controller: ") + error.what());
    }
    try {
        read(findings);
    } catch (const std::exception& error) {
        describeRead(entry, findings, describeFailure(error));
        if (const std::string failure = completeEntry(*recording, entry); !failure.empty())
            throw std::runtime_error(describeFailure(error) + "\n" + failure);
        throw;
    }
    describeRead(entry, findings, "");
    return completeEntry(*recording, entry);
}

ApplyResult recordedApply(const Recording* recording, ControllerSession& session, const char* operation,
                          std::vector<InputStamp> inputs, const std::function<ApplyResult()>& apply) {
    if (recording == nullptr)
        return apply();
    RecordEntry entry = newEntry(*recording, session, operation, std::move(inputs));
    try {
        beginEntry(*recording, entry);
    } catch (const std::exception& error) {
        ApplyResult refused;
        refused.error = std::string("Nothing was sent to the controller: ") + error.what();
        refused.recordError = refused.error;
        return refused;
    }
    ApplyResult result;
    try {
        result = apply();
    } catch (const std::exception& error) {
        entry.outcome = outcome_word::FAILED;
        entry.reason = describeFailure(error);
        completeEntry(*recording, entry);
        throw;
    }
    describeApply(entry, result);
    result.recordError = completeEntry(*recording, entry);
    return result;
}

LpfpConfiguration entryConfiguration(const RecordEntry& entry) {
    const RecordedRecord* app = nullptr;
    const RecordedRecord* mc = nullptr;
    for (const RecordedRecord& record : entry.records) {
        if (record.record == record_word::APP)
            app = &record;
        else if (record.record == record_word::MC)
            mc = &record;
    }
    if (app == nullptr || mc == nullptr)
        throw RecordError(
            "Entry " + std::to_string(entry.id) +
            " does not hold both records; an LPFP file needs the application and the motor record");
    LpfpConfiguration pair;
    pair.app = decodeRecord<APPConfiguration>(*app, APP_CONFIG_PAYLOAD_SIZE, appConfigFromBytes, entry.id);
    pair.mc = decodeRecord<MCConfiguration>(*mc, MC_CONFIG_PAYLOAD_SIZE, mcConfigFromBytes, entry.id);
    return pair;
}
