// What lpfp_cli says for each step of an apply, in the words of each apply (the XML files and
// the LPFP file), and for each record and the backup after a stop request: every wording,
// in-process, with its level and whether an error line becomes the run's error.

#include "cli/console_lines.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

OpEvent event(OpStep step, RecordKind record, std::string text = {}, std::uint64_t keys = 0) {
    OpEvent made;
    made.step = step;
    made.record = record;
    made.text = std::move(text);
    made.keys = keys;
    return made;
}

// What one event makes lpfp_cli say: report lines as "out: ", log lines as "[level] ".
Lines said(ApplyWording wording, const OpEvent& step, FlowResult& result) {
    LogCapture capture(spdlog::level::trace);
    std::ostringstream out;
    applyProgressPrinter(wording, out, result)(step);
    Lines lines;
    std::istringstream report(out.str());
    for (std::string line; std::getline(report, line);)
        lines.push_back("out: " + line);
    for (const CapturedLine& line : capture.lines())
        lines.push_back("[" + std::string(spdlog::level::to_string_view(line.level).data()) + "] " +
                        line.text);
    return lines;
}

struct StepCase {
    OpEvent step;
    Lines xml;  // what the XML files' apply says
    Lines lpfp; // what the LPFP file's apply says
};

constexpr RecordKind APP = RecordKind::App;
constexpr RecordKind MC = RecordKind::Mc;

} // namespace

TEST(ApplyWordings, EachStepOfEachRecordInTheWordsOfEachApply) {
    const std::string timeout = TIMED_OUT_TEXT;
    const StepCase cases[] = {
        {event(OpStep::BackupSaved, RecordKind::None, "/b/VK5.lpfp"),
         {"out: Backup saved to: /b/VK5.lpfp"},
         {"out: Backup saved to: /b/VK5.lpfp"}},
        {event(OpStep::BackupFailed, RecordKind::None, "Cannot create backup folder /x"),
         {"[error] Backup failed, nothing was sent: Cannot create backup folder /x"},
         {"[error] Backup failed, nothing was sent: Cannot create backup folder /x"}},
        {event(OpStep::GettingDefaults, APP),
         {"[info] Getting Default APP Configuration"},
         {"[info] Getting Default APP Configuration"}},
        {event(OpStep::GettingDefaults, MC), {"[info] Getting Default MC Configuration"}, {}},
        {event(OpStep::FileInvalid, APP, "a.xml"),
         {"[error] Not a valid APPConfiguration XML file"},
         {"[error] a.xml: Invalid Configuration File"}},
        {event(OpStep::FileInvalid, MC, "m.xml"),
         {"[error] Not a valid MCConfiguration XML file"},
         {"[error] m.xml: Invalid Configuration File"}},
        {event(OpStep::FileRead, APP, "a.xml", 3),
         {"[info] Configuration updated from XML file a.xml. 3 parameters set"},
         {"[info] Configuration updated from LPFP file a.xml. 3 parameters set"}},
        {event(OpStep::Refused, APP),
         {"[error] App Configuration was not accepted by the controller"},
         {"[error] Failed to set APPConfig"}},
        {event(OpStep::Refused, MC),
         {"[error] MC Configuration was not accepted by the controller"},
         {"[error] Failed to set MCConfig"}},
        {event(OpStep::NotAcknowledged, MC, "0x00 0x15 0x00"),
         {"[error] MC Configuration was not acknowledged by the bridge (0x00 0x15 0x00)"},
         {"[error] Failed to set MCConfig: not acknowledged by the bridge (0x00 0x15 0x00)"}},
        {event(OpStep::AnswerUnreadable, APP, "CRC mismatch"),
         {"[warning] The controller's answer to the APP Configuration could not be read (CRC mismatch); "
          "reading it back decides whether it was stored"},
         {"[warning] The controller's answer to the APP Configuration could not be read (CRC mismatch); "
          "reading it back decides whether it was stored"}},
        {event(OpStep::Sent, MC),
         {"[info] Configuration sent to device"},
         {"[info] Configuration sent to device"}},
        {event(OpStep::GettingReadBack, MC),
         {"[info] Getting MC Configuration"},
         {"[info] Getting MC Configuration"}},
        {event(OpStep::Validating, APP),
         {"[info] Validating Updated APP"},
         {"[info] Validating Updated APP"}},
        {event(OpStep::Validating, MC), {}, {"[info] Validating Updated MC"}},
        {event(OpStep::Validated, APP),
         {"[info] APP Configuration Validated"},
         {"[info] APP Configuration Validated"}},
        {event(OpStep::Differs, APP),
         {"[error] App Configuration validation FAILED"},
         {"[error] App Configuration validation FAILED"}},
        {event(OpStep::Differs, MC),
         {"[error] MC Configuration validation FAILED"},
         {"[error] MC Configuration validation FAILED"}},
        {event(OpStep::Failed, MC, timeout), {"[error] " + timeout}, {"[error] " + timeout}},
        // A reason with its likely cause on a second line is logged as two lines.
        {event(OpStep::Failed, RecordKind::None, "Lost the connection\nIs the cable in?"),
         {"[error] Lost the connection", "[error] Is the cable in?"},
         {"[error] Lost the connection", "[error] Is the cable in?"}},
        {event(OpStep::Interrupted, RecordKind::None), {}, {}},
    };
    for (const StepCase& c : cases) {
        for (const auto& [wording, expected] :
             {std::pair{ApplyWording::XmlFiles, c.xml}, std::pair{ApplyWording::LpfpFile, c.lpfp}}) {
            FlowResult result;
            EXPECT_EQ(said(wording, c.step, result), expected)
                << "step " << static_cast<int>(c.step.step) << ", record " << static_cast<int>(c.step.record)
                << ", wording " << static_cast<int>(wording);
            // An error line is the run's error (its first line); nothing else is.
            const bool error = !expected.empty() && expected.front().rfind("[error] ", 0) == 0;
            EXPECT_EQ(result.error, error ? expected.front().substr(8) : std::string());
        }
    }
}

TEST(ApplyWordings, TheFirstErrorOfARunStaysItsError) {
    FlowResult result;
    said(ApplyWording::XmlFiles, event(OpStep::Differs, APP), result);
    said(ApplyWording::XmlFiles, event(OpStep::Failed, MC, "later"), result);
    EXPECT_EQ(result.error, "App Configuration validation FAILED");
}

TEST(InterruptionWordings, EachRecordSaysWhetherItWasWrittenAndWhereTheOldConfigurationIs) {
    auto interrupted = [](const ApplyResult& apply) {
        LogCapture capture(spdlog::level::trace);
        printInterruption(apply);
        Lines lines;
        for (const CapturedLine& line : capture.lines())
            lines.push_back("[" + std::string(spdlog::level::to_string_view(line.level).data()) + "] " +
                            line.text);
        return lines;
    };
    // Verified, then a record sent whose read-back differs; a backup was taken.
    ApplyResult both;
    both.app.requested = both.app.sent = both.app.verified = true;
    both.app.answer = SetReply{SetAnswer::Accepted, {}};
    both.mc.requested = both.mc.sent = true;
    both.mc.answer = SetReply{SetAnswer::Accepted, {}};
    both.mc.differences = {{"MCConfiguration", "l_current_max", "1", "2"}};
    both.backup = std::filesystem::path("/b/VK5.lpfp");
    both.error = "Interrupted";
    EXPECT_EQ(interrupted(both),
              (Lines{"[error] Interrupted", "[info] APP Configuration was written and verified",
                     "[error] MC Configuration was sent but not verified",
                     "[info] The configuration from before this run is in the backup /b/VK5.lpfp; to restore "
                     "it: lpfp_cli --lpfp_config /b/VK5.lpfp"}));

    // Refused, not acknowledged, failed exchanges: sent but not verified; a record whose
    // default could not be read, or that was never reached: not written. Without a backup,
    // the warning comes last once anything was sent.
    ApplyResult refused;
    refused.app.requested = refused.app.sent = true;
    refused.app.answer = SetReply{SetAnswer::Refused, {}};
    refused.mc.requested = true;
    refused.mc.error = "Reply from controller is not a valid packet";
    refused.error = "Interrupted";
    EXPECT_EQ(
        interrupted(refused),
        (Lines{"[error] Interrupted", "[error] APP Configuration was sent but not verified",
               "[error] MC Configuration was not written", "[warning] No backup was taken before this run"}));

    ApplyResult nothing;
    nothing.app.requested = nothing.mc.requested = true;
    nothing.error = "Interrupted";
    nothing.interrupted = true;
    EXPECT_EQ(interrupted(nothing), (Lines{"[error] Interrupted", "[error] APP Configuration was not written",
                                           "[error] MC Configuration was not written"}));
}
