// An apply's result as lines: which line each outcome of a record gives, in which order, and
// when the lines of the whole apply (backup, what ended it, no backup) come; and the words the
// front ends' patterns are filled with.

#include "core/ops/result_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

RecordOutcome sentWith(SetAnswer answer, std::string detail = {}) {
    RecordOutcome outcome;
    outcome.requested = true;
    outcome.sent = true;
    outcome.answer = SetReply{answer, std::move(detail)};
    return outcome;
}

struct Told {
    RecordKind record;
    Happened what;
    bool sent;
    std::string text;
    bool operator==(const Told& other) const {
        return record == other.record && what == other.what && sent == other.sent && text == other.text;
    }
};

std::vector<Told> told(const ApplyResult& result, bool stoppedByBackup = false) {
    std::vector<Told> lines;
    for (const ResultLine& line : describeApply(result, stoppedByBackup))
        lines.push_back({line.record, line.what, line.sent, line.text});
    return lines;
}

void PrintTo(const Told& line, std::ostream* out) {
    *out << "{record " << static_cast<int>(line.record) << ", what " << static_cast<int>(line.what)
         << ", sent " << line.sent << ", \"" << line.text << "\"}";
}

constexpr RecordKind APP = RecordKind::App;
constexpr RecordKind MC = RecordKind::Mc;
constexpr RecordKind NONE = RecordKind::None;

} // namespace

TEST(DescribeApply, EachOutcomeOfARecordGivesItsLine) {
    struct Case {
        const char* name;
        RecordOutcome outcome;
        std::vector<Told> expected;
    };
    RecordOutcome verified = sentWith(SetAnswer::Accepted);
    verified.verified = true;
    RecordOutcome verifiedUnreadable = sentWith(SetAnswer::Unreadable, "CRC mismatch");
    verifiedUnreadable.verified = true;
    RecordOutcome failed = sentWith(SetAnswer::Accepted);
    failed.error = "Reply from controller is not a valid packet";
    RecordOutcome differs = sentWith(SetAnswer::Accepted);
    differs.differences = {{"MCConfiguration", "l_current_max", "60", "61"}};
    RecordOutcome unreadableDiffers = sentWith(SetAnswer::Unreadable, "too short");
    unreadableDiffers.differences = differs.differences;
    RecordOutcome silentRefusal; // sent, and no answer came that says it was taken
    silentRefusal.requested = true;
    silentRefusal.sent = true;
    const Case cases[] = {
        {"verified", verified, {{MC, Happened::Verified, true, ""}}},
        {"verified, answer unreadable",
         verifiedUnreadable,
         {{MC, Happened::VerifiedDespiteAnswer, true, "CRC mismatch"}}},
        {"exchange failed", failed, {{MC, Happened::ExchangeFailed, true, failed.error}}},
        {"not acknowledged",
         sentWith(SetAnswer::NotAcknowledged, "0x00 0x15 0x00"),
         {{MC, Happened::NotAcknowledged, true, "0x00 0x15 0x00"}}},
        {"refused", sentWith(SetAnswer::Refused), {{MC, Happened::Refused, true, ""}}},
        {"no answer", silentRefusal, {{MC, Happened::Refused, true, ""}}},
        {"differs", differs, {{MC, Happened::Differs, true, ""}}},
        {"differs, no field named",
         sentWith(SetAnswer::Accepted),
         {{MC, Happened::DiffersUnnamed, true, ""}}},
        {"differs, answer unreadable",
         unreadableDiffers,
         {{MC, Happened::AnswerUnreadable, true, "too short"}, {MC, Happened::Differs, true, ""}}},
    };
    for (const Case& c : cases) {
        ApplyResult result;
        result.mc = c.outcome;
        result.backup = std::filesystem::path("/b/VK5.lpfp");
        std::vector<Told> expected{{NONE, Happened::BackupSaved, false, "/b/VK5.lpfp"}};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(told(result), expected) << c.name;
    }
    // The fields go with the line that says the copies differ.
    ApplyResult result;
    result.mc = differs;
    const std::vector<ResultLine> lines = describeApply(result);
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].fields.size(), 1u);
    EXPECT_EQ(lines[0].fields[0].key, "l_current_max");
    EXPECT_EQ(lines[1].what, Happened::NoBackup);
}

TEST(DescribeApply, TheLinesOfTheWholeApplyComeWhereTheyAreDue) {
    // Nothing asked for, nothing to say.
    EXPECT_TRUE(told(ApplyResult{}).empty());

    // The apply ended after the application record: the motor record was not sent, and the
    // reason closes the list since no record's line tells it.
    ApplyResult midway;
    midway.app = sentWith(SetAnswer::Accepted);
    midway.app.verified = true;
    midway.mc.requested = true;
    midway.error = "Reply from controller is not a valid packet";
    EXPECT_EQ(told(midway), (std::vector<Told>{{APP, Happened::Verified, true, ""},
                                               {MC, Happened::NotSent, false, ""},
                                               {NONE, Happened::Ended, false, midway.error},
                                               {NONE, Happened::NoBackup, false, ""}}));

    // Ended before anything was sent (a stop request, say): neither record was reached.
    ApplyResult early;
    early.app.requested = true;
    early.mc.requested = true;
    early.error = "Interrupted";
    early.interrupted = true;
    EXPECT_EQ(told(early), (std::vector<Told>{{APP, Happened::NotReached, false, ""},
                                              {MC, Happened::NotReached, false, ""},
                                              {NONE, Happened::Ended, false, "Interrupted"}}));

    // A time-out that ended a record's exchange is told on the record's line only, and a record
    // whose default could not be read was never sent.
    ApplyResult silent;
    silent.app.requested = true;
    silent.app.error = "ARM timed out. It may not be powered.";
    silent.error = silent.app.error;
    EXPECT_EQ(told(silent), (std::vector<Told>{{APP, Happened::ExchangeFailed, false, silent.error}}));

    // A backup that stopped the apply is all there is to say.
    ApplyResult backup = early;
    backup.error = "Cannot create backup folder /x";
    EXPECT_EQ(told(backup, true), (std::vector<Told>{{NONE, Happened::BackupStopped, false, backup.error}}));
}

TEST(FillWording, PutsTheRecordsWordsTheTextAndTheCount) {
    EXPECT_EQ(fillWording("{rec} {Rec} {config} {root}", RecordKind::App, ""),
              "APP App APPConfig APPConfiguration");
    EXPECT_EQ(fillWording("{rec} {Rec} {config} {root}", RecordKind::Mc, ""),
              "MC MC MCConfig MCConfiguration");
    EXPECT_EQ(fillWording("{text}: {count} field{s}", RecordKind::Mc, "a", 1), "a: 1 field");
    EXPECT_EQ(fillWording("{text}: {count} field{s}", RecordKind::Mc, "a", 0), "a: 0 fields");
    EXPECT_EQ(fillWording("{count} parameters set", RecordKind::App, "", 157), "157 parameters set");
    // What the text brings in is not read as a pattern, and what is not a word stays.
    EXPECT_EQ(fillWording("[{text}] {other} {", RecordKind::App, "{rec}{count}"), "[{rec}{count}] {other} {");
    EXPECT_EQ(fillWording("", RecordKind::App, "x"), "");
}
