#include "core/ops/result_lines.h"

#include "core/config/config_xml.h"
#include "core/config/file_io.h"

namespace {

bool answerUnreadable(const RecordOutcome& outcome) {
    return outcome.answer && outcome.answer->answer == SetAnswer::Unreadable;
}

// The line (or two) of one record asked for. anythingSent: the apply sent some record.
void describeRecord(RecordKind record, const RecordOutcome& outcome, bool anythingSent,
                    std::vector<ResultLine>& lines) {
    if (!outcome.requested)
        return;
    const std::string detail = outcome.answer ? outcome.answer->detail : std::string();
    auto add = [&](Happened what, std::string text = {}) {
        lines.push_back({record, what, outcome.sent, std::move(text), {}});
    };
    if (outcome.verified) {
        if (answerUnreadable(outcome))
            add(Happened::VerifiedDespiteAnswer, detail);
        else
            add(Happened::Verified);
        return;
    }
    if (!outcome.error.empty()) {
        add(Happened::ExchangeFailed, outcome.error);
    } else if (!outcome.sent) {
        add(anythingSent ? Happened::NotSent : Happened::NotReached);
    } else if (outcome.answer && outcome.answer->answer == SetAnswer::NotAcknowledged) {
        add(Happened::NotAcknowledged, detail);
    } else if (!outcome.answer || outcome.rejected()) {
        add(Happened::Refused);
    } else {
        if (answerUnreadable(outcome))
            add(Happened::AnswerUnreadable, detail);
        if (outcome.differences.empty()) {
            add(Happened::DiffersUnnamed);
        } else {
            add(Happened::Differs);
            lines.back().fields = outcome.differences;
        }
    }
}

} // namespace

std::vector<ResultLine> describeApply(const ApplyResult& result, bool stoppedByBackup) {
    if (stoppedByBackup)
        return {{RecordKind::None, Happened::BackupStopped, false, result.error, {}}};
    std::vector<ResultLine> lines;
    if (result.backup)
        lines.push_back({RecordKind::None, Happened::BackupSaved, false, utf8FromPath(*result.backup), {}});
    const bool anythingSent = result.app.sent || result.mc.sent;
    describeRecord(RecordKind::App, result.app, anythingSent, lines);
    describeRecord(RecordKind::Mc, result.mc, anythingSent, lines);
    // A record's failed exchange that ended the apply is told once, on the record's line.
    const bool told = (result.app.requested && result.error == result.app.error) ||
                      (result.mc.requested && result.error == result.mc.error);
    if (!result.error.empty() && !told)
        lines.push_back({RecordKind::None, Happened::Ended, false, result.error, {}});
    if (!result.backup && anythingSent)
        lines.push_back({RecordKind::None, Happened::NoBackup, false, {}, {}});
    return lines;
}

std::string fillWording(std::string_view pattern, RecordKind record, std::string_view text,
                        std::uint64_t count) {
    const bool app = record == RecordKind::App;
    const std::string number = std::to_string(count);
    const std::pair<std::string_view, std::string_view> words[] = {
        {"{rec}", app ? "APP" : "MC"},
        {"{Rec}", app ? "App" : "MC"},
        {"{config}", app ? "APPConfig" : "MCConfig"},
        {"{root}", app ? APP_ROOT : MC_ROOT},
        {"{text}", text},
        {"{count}", number},
        {"{s}", count == 1 ? "" : "s"},
    };
    std::string filled;
    filled.reserve(pattern.size() + text.size());
    // One pass: what a word puts in is never read as a pattern again.
    for (std::size_t at = 0; at < pattern.size();) {
        bool replaced = false;
        if (pattern[at] == '{') {
            for (const auto& [name, word] : words) {
                if (pattern.substr(at, name.size()) == name) {
                    filled += word;
                    at += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            filled += pattern[at++];
    }
    return filled;
}
