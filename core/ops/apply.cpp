#include "core/ops/apply.h"

#include "core/config/config_compare.h"
#include "core/config/config_xml.h"
#include "core/device/timeout_exception.h"

#include <utility>

namespace {

// What the apply engine needs to know of each record, so one engine serves both.
template <class Record> struct RecordTraits;

template <> struct RecordTraits<APPConfiguration> {
    static constexpr RecordKind kind = RecordKind::App;
    static constexpr const char* invalidFileText = "Not a valid APPConfiguration XML file";
    static APPConfiguration defaults(ArmLink& link) { return link.ARM_getDefaultAppConfig(); }
    static APPConfiguration current(ArmLink& link) { return link.ARM_getAppConfig(); }
    static bool set(ArmLink& link, const APPConfiguration& record) { return link.ARM_setAppConfig(record); }
    static bool equals(const APPConfiguration& a, const APPConfiguration& b) { return appConfigEquals(a, b); }
    static std::vector<FieldDifference> diff(const APPConfiguration& a, const APPConfiguration& b) {
        return diffAppConfig(a, b);
    }
    static bool fromXmlFile(APPConfiguration& record, const std::string& path, std::uint64_t& keys) {
        return appConfigFromXmlFile(record, path, keys);
    }
};

template <> struct RecordTraits<MCConfiguration> {
    static constexpr RecordKind kind = RecordKind::Mc;
    static constexpr const char* invalidFileText = "Not a valid MCConfiguration XML file";
    static MCConfiguration defaults(ArmLink& link) { return link.ARM_getDefaultMCConfig(); }
    static MCConfiguration current(ArmLink& link) { return link.ARM_getMCConfig(); }
    static bool set(ArmLink& link, const MCConfiguration& record) { return link.ARM_setMCConfig(record); }
    static bool equals(const MCConfiguration& a, const MCConfiguration& b) { return mcConfigEquals(a, b); }
    static std::vector<FieldDifference> diff(const MCConfiguration& a, const MCConfiguration& b) {
        return diffMcConfig(a, b);
    }
    static bool fromXmlFile(MCConfiguration& record, const std::string& path, std::uint64_t& keys) {
        return mcConfigFromXmlFile(record, path, keys);
    }
};

// One apply in progress: its session, its policy, its listener and the result it fills.
class Applier {
public:
    Applier(ControllerSession& session, const ApplyOptions& options, const ProgressFn& progress)
        : session_(session), options_(options), progress_(progress) {}

    ApplyResult& result() { return result_; }
    RecordOutcome& outcome(RecordKind kind) { return kind == RecordKind::App ? result_.app : result_.mc; }

    void emit(OpStep step, RecordKind record, std::string text = {}, std::uint64_t keys = 0,
              std::vector<FieldDifference> differences = {}) const {
        if (!progress_)
            return;
        OpEvent event;
        event.step = step;
        event.record = record;
        event.text = std::move(text);
        event.keys = keys;
        event.differences = std::move(differences);
        progress_(event);
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
            emit(OpStep::BackupSaved, RecordKind::None, result_.backup->string());
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
        return guarded(kind, [&] {
            ArmLink& link = session_.link();
            out.sent = true;
            if (!Traits::set(link, record)) {
                emit(OpStep::Refused, kind);
                return true; // a refused record does not keep the next from being sent
            }
            out.accepted = true;
            emit(OpStep::Sent, kind);
            emit(OpStep::GettingReadBack, kind);
            const Record readBack = Traits::current(link);
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
    template <class Record> bool applyXml(const std::string& path) {
        using Traits = RecordTraits<Record>;
        constexpr RecordKind kind = Traits::kind;
        RecordOutcome& out = outcome(kind);
        out.requested = true;
        Record record{};
        bool laid = false;
        const bool goOn = guarded(kind, [&] {
            emit(OpStep::GettingDefaults, kind);
            record = Traits::defaults(session_.link());
            std::uint64_t keys = 0;
            if (!Traits::fromXmlFile(record, path, keys)) {
                // The file was checked before; it changed since.
                out.error = Traits::invalidFileText;
                emit(OpStep::FileInvalid, kind, path);
                return true;
            }
            out.foundKeys = keys;
            emit(OpStep::FileRead, kind, path, keys);
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

ApplyResult applyXmlFiles(ControllerSession& session, const std::string& appPath, const std::string& mcPath,
                          const ApplyOptions& options, const ProgressFn& progress) {
    Applier applier(session, options, progress);
    if (!applier.backupFirst())
        return std::move(applier.result());
    if (!appPath.empty() && !applier.applyXml<APPConfiguration>(appPath))
        return std::move(applier.result());
    if (!mcPath.empty())
        applier.applyXml<MCConfiguration>(mcPath);
    return std::move(applier.result());
}

ApplyResult applyLpfpFile(ControllerSession& session, const std::string& lpfpPath,
                          const ApplyOptions& options, const ProgressFn& progress) {
    Applier applier(session, options, progress);
    ApplyResult& result = applier.result();
    result.app.requested = true;
    result.mc.requested = true;
    if (!applier.backupFirst())
        return std::move(result);

    LpfpConfiguration pair;
    const bool laid = applier.guarded(RecordKind::None, [&] {
        applier.emit(OpStep::GettingDefaults, RecordKind::App);
        pair.app = session.link().ARM_getDefaultAppConfig();
        applier.emit(OpStep::GettingDefaults, RecordKind::Mc);
        pair.mc = session.link().ARM_getDefaultMCConfig();
        if (!readLpfpFile(pair, lpfpPath, result.app.foundKeys, result.mc.foundKeys)) {
            result.error = lpfpPath + ": Invalid Configuration File";
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

ApplyResult applyRecords(ControllerSession& session, const std::optional<APPConfiguration>& app,
                         const std::optional<MCConfiguration>& mc, const ApplyOptions& options,
                         const ProgressFn& progress) {
    Applier applier(session, options, progress);
    if (!applier.backupFirst())
        return std::move(applier.result());
    if (app && !applier.sendAndVerify(*app))
        return std::move(applier.result());
    if (mc)
        applier.sendAndVerify(*mc);
    return std::move(applier.result());
}
