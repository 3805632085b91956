#pragma once
// What the panels and the window say about a controller and about a finished update, as
// plain functions of what the operations reported.

#include "core/ops/apply.h"
#include "core/ops/input_preparation.h"
#include "core/ops/result_lines.h"
#include "loader/device_worker.h"

#include <QString>
#include <QStringList>
#include <QTime>

#include <spdlog/common.h>

#include <cstdint>
#include <string>
#include <vector>

// "0x" and eight upper-case hexadecimal digits.
QString chipIdText(std::uint32_t chipId);

// The title of a device's panel and the name its message boxes give: "<serial> - <description>",
// or whichever of the two is known.
QString deviceTitle(const QString& serial, const QString& description);

// Why a panel cannot be used, as shown in the panel: the system's own message first, then
// what it means for the user. Empty for a controller ready for work.
QString unavailableText(const ControllerIdentity& identity);
// The same for a bridge that is no longer listed.
QString disconnectedText();

// At most this many differing fields are listed for one record; the rest are counted.
constexpr int MAX_LISTED_DIFFERENCES = 10;

// At most this many lines are shown in a message box; the rest are counted.
constexpr int MAX_BOX_LINES = 16;

// A box's text cut to its first MAX_BOX_LINES - 1 lines and a line "and N more", so that its
// button stays on the screen; full is the whole text when it was cut, empty otherwise.
struct BoxText {
    QString shown;
    QString full;
};
BoxText cappedBoxText(const QString& text, int maxLines = MAX_BOX_LINES);

// Why a file prepared as the motor or application XML document (prepareXmlInput) cannot be
// used, naming the file: it cannot be read, it is not an XML document, or it holds the other
// record. Empty when it holds its record; values the controller refuses are left to the apply.
QString xmlFileProblem(const PreparedInput& prepared);
// Why a prepared LPFP file cannot be used: the reading error's own text ("Cannot read file ...",
// "Checksum Fail", "Decoding Failed.", "Invalid Configuration File") on the first line, then
// the file's name and the likely cause. Empty when it can be used.
QString lpfpFileProblem(const PreparedInput& prepared);

// What a device-list failure means, so that a status number is not all the user sees: the
// meaning of the status in error, then the reasons the listing logged on its way, if any.
QString deviceListFailureReason(const QString& error, const QStringList& reasons);

// The text shown when no device is listed.
QString noDeviceHintText();

// A log line or result line with the time of day in front: "12:34:56  text".
QString stampedText(const QTime& time, const QString& text);

// Follows the events of an update to tell whether the backup taken first stopped it (the
// backup could not be written, or the records for it could not be read).
struct BackupWatch {
    bool pending = false; // a backup was asked for and has not been saved yet
    bool stopped = false;
    void see(const OpEvent& event);
};

// The update a panel row runs, or the parameter view's apply; each tells its steps in words of
// its own.
enum class UpdateKind : std::uint8_t { Mc = 1, App = 2, Lpfp = 4, Parameters = 8 };

// One line a step of an update gives: logged at level (off: not logged) and, with progress,
// appended to the panel's progress log (shown on the status line of the parameter view).
struct StepLine {
    spdlog::level::level_enum level = spdlog::level::off;
    bool progress = false;
    QString text;
};

// What the panel says of one step of an update, in the order it says it; nothing for a step
// that update does not tell.
std::vector<StepLine> updateStepLines(UpdateKind update, const OpEvent& event);

// The lines that tell what became of an apply (describeApply), as the desktop words them: for
// each record that was not verified, why (refused, not acknowledged, an exchange failed, the
// fields whose read-back value differs with both values, at most maxFields of them), a record
// verified although the controller's answer could not be read, and what ended the apply early.
// withBackup: the backup's path first, when one was taken.
QStringList resultLineTexts(const std::vector<ResultLine>& lines, bool withBackup,
                            int maxFields = MAX_LISTED_DIFFERENCES);

// The lines that follow the first line of an update's box, joined: for a failed update why
// (as resultLineTexts says it, the backup left out; with stoppedByBackup, why the backup
// stopped it), for one that is ok() each record verified although its answer was unreadable.
// Empty when there is nothing to add.
QString applyResultDetail(const ApplyResult& result, bool stoppedByBackup = false);
