#include "core/ops/apply.h"

#include "core/config/config_codec.h"
#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/device/timeout_exception.h"

#include <tinyxml2.h>

#include <utility>

namespace {

// What the apply engine needs to know of each record, so one engine serves both.
template <class Record> struct RecordTraits;

template <> struct RecordTraits<APPConfiguration> {
    static constexpr RecordKind kind = RecordKind::App;
    static constexpr const char* invalidFileText = "Not a valid APPConfiguration XML file";
    static APPConfiguration defaults(ArmLink& link) { return link.ARM_getDefaultAppConfig(); }
    static APPConfiguration current(ArmLink& link) { return link.ARM_getAppConfig(); }
    static SetReply set(ArmLink& link, const APPConfiguration& record) { return link.setAppConfig(record); }
    static bool equals(const APPConfiguration& a, const APPConfiguration& b) { return appConfigEquals(a, b); }
    static std::vector<FieldDifference> diff(const APPConfiguration& a, const APPConfiguration& b) {
        return diffAppConfig(a, b);
    }
    static std::vector<std::uint8_t> payload(const APPConfiguration& record) {
        std::vector<std::uint8_t> bytes(APP_CONFIG_PAYLOAD_SIZE);
        appConfigToBytes(bytes.data(), record);
        return bytes;
    }
    static constexpr const char* rootName = APP_ROOT;
    static bool fromXml(APPConfiguration& record, const tinyxml2::XMLElement* root, std::uint64_t& keys) {
        return appConfigFromXml(record, root, keys);
    }
};

template <> struct RecordTraits<MCConfiguration> {
    static constexpr RecordKind kind = RecordKind::Mc;
    static constexpr const char* invalidFileText = "Not a valid MCConfiguration XML file";
    static MCConfiguration defaults(ArmLink& link) { return link.ARM_getDefaultMCConfig(); }
    static MCConfiguration current(ArmLink& link) { return link.ARM_getMCConfig(); }
    static SetReply set(ArmLink& link, const MCConfiguration& record) { return link.setMCConfig(record); }
    static bool equals(const MCConfiguration& a, const MCConfiguration& b) { return mcConfigEquals(a, b); }
    static std::vector<FieldDifference> diff(const MCConfiguration& a, const MCConfiguration& b) {
        return diffMcConfig(a, b);
    }
    static std::vector<std::uint8_t> payload(const MCConfiguration& record) {
        std::vector<std::uint8_t> bytes(MC_CONFIG_PAYLOAD_SIZE);
        mcConfigToBytes(bytes.data(), record);
        return bytes;
    }
    static constexpr const char* rootName = MC_ROOT;
    static bool fromXml(MCConfiguration& record, const tinyxml2::XMLElement* root, std::uint64_t& keys) {
        return mcConfigFromXml(record, root, keys);
    }
};

// Parses a document as the file readers do and finds its top-level element of that name.
const tinyxml2::XMLElement* rootOf(tinyxml2::XMLDocument& document, const std::string& text,
                                   const char* name) {
    if (document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        return nullptr;
    }
    return document.FirstChildElement(name);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

// One apply in progress: its session, its policy, its listener and the result it fills.
class Applier {
public:
    Applier(ControllerSession& session, const ApplyOptions& options, const ProgressFn& progress)
        : session_(session), options_(options), progress_(progress) {}

    ApplyResult& result() { return result_; }
    RecordOutcome& outcome(RecordKind kind) { return kind == RecordKind::App ? result_.app : result_.mc; }

    void emit(OpStep step, RecordKind record, std::string text = {}, std::uint64_t keys = 0,
              std::vector<FieldDifference> differences = {},
              std::vector<ValueViolation> violations = {}) const {
        if (!progress_)
            return;
        OpEvent event;
        event.step = step;
        event.record = record;
        event.text = std::move(text);
        event.keys = keys;
        event.differences = std::move(differences);
        event.violations = std::move(violations);
        progress_(event);
    }

    // Before anything else is done: false, with each offending input reported, when an input
    // holds a value the controller cannot take.
    bool valuesAllowed(const std::vector<std::pair<const ApplyInput*, RecordKind>>& inputs) {
        std::vector<std::string> lines;
        for (const auto& [input, record] : inputs) {
            if (input == nullptr)
                continue;
            std::vector<ValueViolation> violations = checkInputValues(*input, record);
            if (violations.empty())
                continue;
            const std::vector<std::string> refusal = refusalLines(input->path, violations);
            lines.insert(lines.end(), refusal.begin(), refusal.end());
            result_.refusedValues.insert(result_.refusedValues.end(), violations.begin(), violations.end());
            emit(OpStep::ValuesRefused, record, input->path, 0, {}, std::move(violations));
        }
        if (lines.empty())
            return true;
        result_.error = joined(lines);
        return false;
    }

    // True, with the apply ended as interrupted, once a stop has been requested. Asked before
    // each record, so a stop never falls between a set and its read-back.
    bool stopRequested() {
        if (result_.interrupted)
            return true;
        if (!options_.cancel.requested())
            return false;
        result_.interrupted = true;
        result_.error = "Interrupted";
        emit(OpStep::Interrupted, RecordKind::None);
        return true;
    }

    // The backup comes before anything is sent; false when the apply must not go on.
    bool backupFirst() {
        if (!options_.backup.enabled)
            return true;
        return guarded(RecordKind::None, [&] {
            try {
                result_.backup = backupCurrentConfiguration(session_, options_.backup);
            } catch (const timeout_exception&) {
                throw;
            } catch (const std::exception& error) {
                result_.error = error.what();
                emit(OpStep::BackupFailed, RecordKind::None, error.what());
                return false;
            }
            emit(OpStep::BackupSaved, RecordKind::None, utf8FromPath(*result_.backup));
            return true;
        });
    }

    // Runs one step of the apply. A failure inside it is reported and recorded; the result
    // says whether the apply goes on. A failure outside any record, and a silent controller,
    // always end it.
    template <class Step> bool guarded(RecordKind record, Step step) {
        try {
            return step();
        } catch (const std::exception& error) {
            const std::string text = describeFailure(error);
            const bool silent = dynamic_cast<const timeout_exception*>(&error) != nullptr;
            if (record != RecordKind::None)
                outcome(record).error = text;
            emit(OpStep::Failed, record, text);
            if (silent || record == RecordKind::None ||
                options_.policy == FailurePolicy::StopAtFirstFailure) {
                result_.error = text;
                return false;
            }
            return true;
        }
    }

    // Send a record, read it back and compare. False when the apply must stop after it.
    template <class Record> bool sendAndVerify(const Record& record) {
        using Traits = RecordTraits<Record>;
        constexpr RecordKind kind = Traits::kind;
        RecordOutcome& out = outcome(kind);
        out.requested = true;
        if (stopRequested())
            return false;
        return guarded(kind, [&] {
            ArmLink& link = session_.link();
            out.sent = true;
            out.sentPayload = Traits::payload(record);
            out.answer = Traits::set(link, record);
            switch (out.answer->answer) {
            case SetAnswer::Refused:
                emit(OpStep::Refused, kind);
                return true; // a refused record does not keep the next from being sent
            case SetAnswer::NotAcknowledged:
                emit(OpStep::NotAcknowledged, kind, out.answer->detail);
                return true; // nor does one the controller never got
            case SetAnswer::Unreadable:
                // The controller may well hold the record: only the read-back can tell.
                emit(OpStep::AnswerUnreadable, kind, out.answer->detail);
                break;
            case SetAnswer::Accepted:
                emit(OpStep::Sent, kind);
                break;
            }
            emit(OpStep::GettingReadBack, kind);
            const Record readBack = Traits::current(link);
            out.readBackPayload = Traits::payload(readBack);
            emit(OpStep::Validating, kind);
            if (!Traits::equals(readBack, record)) {
                out.differences = Traits::diff(record, readBack);
                emit(OpStep::Differs, kind, {}, 0, out.differences);
                return options_.policy == FailurePolicy::AttemptEveryRecord;
            }
            out.verified = true;
            emit(OpStep::Validated, kind);
            return true;
        });
    }

    // Lay an XML document over the controller's default record, then send and verify it.
    template <class Record> bool applyXml(const ApplyInput& input) {
        using Traits = RecordTraits<Record>;
        constexpr RecordKind kind = Traits::kind;
        RecordOutcome& out = outcome(kind);
        out.requested = true;
        if (stopRequested())
            return false;
        Record record{};
        bool laid = false;
        const bool goOn = guarded(kind, [&] {
            emit(OpStep::GettingDefaults, kind);
            record = Traits::defaults(session_.link());
            std::uint64_t keys = 0;
            tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
            if (!Traits::fromXml(record, rootOf(document, input.text, Traits::rootName), keys)) {
                out.error = Traits::invalidFileText;
                emit(OpStep::FileInvalid, kind, input.path);
                return true;
            }
            out.foundKeys = keys;
            emit(OpStep::FileRead, kind, input.path, keys);
            laid = true;
            return true;
        });
        if (!goOn)
            return false;
        return !laid || sendAndVerify(record);
    }

private:
    ControllerSession& session_;
    const ApplyOptions& options_;
    const ProgressFn& progress_;
    ApplyResult result_;
};

} // namespace

std::filesystem::path backupCurrentConfiguration(ControllerSession& session, const BackupSettings& settings) {
    const auto folder = backupFolder(settings.folder);
    const LpfpConfiguration current = readRecords(session, RecordSet::Current);
    return writeBackup(current, folder, session.serial(), localTimeNow());
}

std::vector<ValueViolation> checkInputValues(const ApplyInput& input, RecordKind record) {
    if (record == RecordKind::None) {
        std::string plainText;
        try {
            plainText = decodeLpfp(input.text);
        } catch (const std::exception&) {
            return {}; // a damaged file is refused by the reader
        }
        return checkLpfpValues(plainText);
    }
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (record == RecordKind::App) {
        return checkAppConfigValues(rootOf(document, input.text, APP_ROOT));
    }
    return checkMcConfigValues(rootOf(document, input.text, MC_ROOT));
}

std::vector<std::string> refusalLines(const std::string& path,
                                      const std::vector<ValueViolation>& violations) {
    std::vector<std::string> lines{"Nothing was sent: " + path + " holds values the controller cannot take"};
    for (const ValueViolation& violation : violations) {
        lines.push_back(describeViolation(violation));
    }
    return lines;
}

ApplyResult applyXmlInputs(ControllerSession& session, const ApplyInput* app, const ApplyInput* mc,
                           const ApplyOptions& options, const ProgressFn& progress) {
    Applier applier(session, options, progress);
    ApplyResult& result = applier.result();
    if (!applier.valuesAllowed({{app, RecordKind::App}, {mc, RecordKind::Mc}}))
        return std::move(result);
    if (!applier.stopRequested() && applier.backupFirst() &&
        (!app || applier.applyXml<APPConfiguration>(*app)) && mc)
        applier.applyXml<MCConfiguration>(*mc);
    // An interrupted apply names every record it was asked for, written or not.
    if (result.interrupted) {
        result.app.requested = app != nullptr;
        result.mc.requested = mc != nullptr;
    }
    return std::move(result);
}

namespace {

// The whole file for an apply. A file that is not there or cannot be opened reads as an empty
// text, which its reader then refuses as it always has; a file refused for what it is (a folder,
// a device, a pipe that never delivers) throws.
ApplyInput readApplyInput(const std::string& path) {
    ApplyInput input{path, {}};
    try {
        input.text = readInputFile(path);
    } catch (const InputFileError& error) {
        if (error.errorNumber() == 0)
            throw;
    }
    return input;
}

} // namespace

ApplyResult applyXmlFiles(ControllerSession& session, const std::string& appPath, const std::string& mcPath,
                          const ApplyOptions& options, const ProgressFn& progress) {
    // What cannot be read at all counts as a document without its root element.
    auto read = [](const std::string& path) {
        try {
            return readApplyInput(path);
        } catch (const InputFileError&) {
            return ApplyInput{path, {}};
        }
    };
    const ApplyInput app = appPath.empty() ? ApplyInput{} : read(appPath);
    const ApplyInput mc = mcPath.empty() ? ApplyInput{} : read(mcPath);
    return applyXmlInputs(session, appPath.empty() ? nullptr : &app, mcPath.empty() ? nullptr : &mc, options,
                          progress);
}

ApplyResult applyLpfpInput(ControllerSession& session, const ApplyInput& lpfp, const ApplyOptions& options,
                           const ProgressFn& progress) {
    Applier applier(session, options, progress);
    ApplyResult& result = applier.result();
    result.app.requested = true;
    result.mc.requested = true;
    const std::string& lpfpPath = lpfp.path;
    std::string plainText;
    // A damaged file fails before anything is read from the controller.
    if (!applier.guarded(RecordKind::None, [&] {
            plainText = decodeLpfp(lpfp.text);
            return true;
        }))
        return std::move(result);
    if (!applier.valuesAllowed({{&lpfp, RecordKind::None}}))
        return std::move(result);
    if (applier.stopRequested() || !applier.backupFirst() || applier.stopRequested())
        return std::move(result);

    LpfpConfiguration pair;
    const bool laid = applier.guarded(RecordKind::None, [&] {
        applier.emit(OpStep::GettingDefaults, RecordKind::App);
        pair.app = session.link().ARM_getDefaultAppConfig();
        applier.emit(OpStep::GettingDefaults, RecordKind::Mc);
        pair.mc = session.link().ARM_getDefaultMCConfig();
        if (!lpfpFromPlainText(pair, plainText, result.app.foundKeys, result.mc.foundKeys)) {
            result.error = lpfpPath + ": " + INVALID_CONFIGURATION_FILE;
            applier.emit(OpStep::FileInvalid, RecordKind::None, lpfpPath);
            return false;
        }
        applier.emit(OpStep::FileRead, RecordKind::None, lpfpPath,
                     result.app.foundKeys + result.mc.foundKeys);
        return true;
    });
    if (!laid)
        return std::move(result);
    if (applier.sendAndVerify(pair.app))
        applier.sendAndVerify(pair.mc);
    return std::move(result);
}

ApplyResult applyLpfpFile(ControllerSession& session, const std::string& lpfpPath,
                          const ApplyOptions& options, const ProgressFn& progress) {
    ApplyInput input;
    try {
        input = readApplyInput(lpfpPath);
    } catch (const InputFileError& error) {
        ApplyResult result;
        result.app.requested = true;
        result.mc.requested = true;
        result.error = error.what();
        if (progress) {
            OpEvent event;
            event.step = OpStep::Failed;
            event.text = error.what();
            progress(event);
        }
        return result;
    }
    return applyLpfpInput(session, input, options, progress);
}

ApplyResult applyRecords(ControllerSession& session, const std::optional<APPConfiguration>& app,
                         const std::optional<MCConfiguration>& mc, const ApplyOptions& options,
                         const ProgressFn& progress) {
    Applier applier(session, options, progress);
    // Records made in memory pass the same check, through the documents they would save as.
    const ApplyInput appInput{"the APPConfiguration record", app ? appConfigToXml(*app) : std::string()};
    const ApplyInput mcInput{"the MCConfiguration record", mc ? mcConfigToXml(*mc) : std::string()};
    if (!applier.valuesAllowed(
            {{app ? &appInput : nullptr, RecordKind::App}, {mc ? &mcInput : nullptr, RecordKind::Mc}})) {
        applier.result().app.requested = app.has_value();
        applier.result().mc.requested = mc.has_value();
        return std::move(applier.result());
    }
    ApplyResult& result = applier.result();
    if (!applier.stopRequested() && applier.backupFirst() && (!app || applier.sendAndVerify(*app)) && mc)
        applier.sendAndVerify(*mc);
    if (result.interrupted) {
        result.app.requested = app.has_value();
        result.mc.requested = mc.has_value();
    }
    return std::move(result);
}
