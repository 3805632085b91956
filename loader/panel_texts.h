#pragma once
// What the panels and the window say about a controller and about a finished update, as
// plain functions of what the operations reported.

#include "core/ops/apply.h"
#include "loader/device_worker.h"

#include <QString>

#include <cstdint>

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

// Follows the events of an update to tell whether the backup taken first stopped it (the
// backup could not be written, or the records for it could not be read).
struct BackupWatch {
    bool pending = false; // a backup was asked for and has not been saved yet
    bool stopped = false;
    void see(const OpEvent& event);
};

// The lines that follow the first line of an update's failure box: for every record that was
// not verified, whether the controller refused it, the read-back copy differed (with the
// fields and both values) or an exchange failed; and what ended the update early. With
// stoppedByBackup, why the backup stopped it. Empty for a result that is ok().
QString applyFailureDetail(const ApplyResult& result, bool stoppedByBackup = false);
