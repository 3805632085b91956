#include "loader/panel_texts.h"

#include <QStringList>

namespace {

QString qText(const std::string& text) {
    return QString::fromStdString(text);
}

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// endedEarly: the apply stopped after sending something, so a record it never reached is
// named as not sent.
void describeRecord(const char* name, const RecordOutcome& outcome, bool endedEarly, QStringList& lines) {
    if (!outcome.requested || outcome.verified) {
        return;
    }
    const QString record = QString::fromLatin1(name);
    if (!outcome.error.empty()) {
        lines << record + QStringLiteral(": ") + qText(outcome.error);
    } else if (outcome.sent && !outcome.accepted) {
        lines << record + QStringLiteral(": refused by the controller, nothing was stored");
    } else if (outcome.accepted && !outcome.differences.empty()) {
        const int count = static_cast<int>(outcome.differences.size());
        lines << record + QStringLiteral(": the read-back copy differs in %1 %2:")
                              .arg(count)
                              .arg(count == 1 ? QStringLiteral("field") : QStringLiteral("fields"));
        for (int i = 0; i < count && i < MAX_LISTED_DIFFERENCES; ++i) {
            const FieldDifference& difference = outcome.differences[static_cast<std::size_t>(i)];
            lines << QStringLiteral("  %1: sent %2, read back %3")
                         .arg(qText(difference.key), qText(difference.left), qText(difference.right));
        }
        if (count > MAX_LISTED_DIFFERENCES) {
            lines << QStringLiteral("  and %1 more").arg(count - MAX_LISTED_DIFFERENCES);
        }
    } else if (outcome.accepted) {
        lines << record + QStringLiteral(": the read-back copy differs from the record sent");
    } else if (endedEarly) {
        lines << record + QStringLiteral(": not sent");
    }
}

} // namespace

QString chipIdText(std::uint32_t chipId) {
    return QStringLiteral("0x") + QString::number(chipId, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

QString deviceTitle(const QString& serial, const QString& description) {
    if (serial.isEmpty()) {
        return description;
    }
    if (description.isEmpty()) {
        return serial;
    }
    return serial + QStringLiteral(" - ") + description;
}

QString unavailableText(const ControllerIdentity& identity) {
    using Problem = ControllerIdentity::Problem;
    switch (identity.problem) {
    case Problem::None:
        return {};
    case Problem::Firmware:
        return QStringLiteral("This application only works with FW version 5.2\n"
                              "This controller reports firmware %1.%2; its configuration cannot be "
                              "changed here.")
            .arg(identity.version.major)
            .arg(identity.version.minor);
    case Problem::NoAnswer:
        return QStringLiteral("%1\nThe controller did not answer. Check that it is powered, then choose "
                              "Devices > Rescan.")
            .arg(QString::fromLatin1(TIMED_OUT_TEXT));
    case Problem::NoVersion:
        return QStringLiteral("Failed at getting ARM Version.\nThe controller's answer could not be read%1.")
            .arg(identity.detail.empty() ? QString() : QStringLiteral(": ") + qText(identity.detail));
    case Problem::InUse:
        return QStringLiteral("The port is in use by another program.\nClose the other program, then "
                              "choose Devices > Rescan.");
    case Problem::OpenFailed:
        return QStringLiteral("Failed to open device\nThe bridge could not be opened; plug it in again, "
                              "then choose Devices > Rescan.");
    }
    return {};
}

QString disconnectedText() {
    return QStringLiteral("Disconnected\nThe bridge is no longer listed; plug it in again, then choose "
                          "Devices > Rescan.");
}

void BackupWatch::see(const OpEvent& event) {
    if (event.step == OpStep::BackupSaved) {
        pending = false;
    } else if (pending && (event.step == OpStep::BackupFailed || event.step == OpStep::Failed)) {
        pending = false;
        stopped = true;
    }
}

QString applyFailureDetail(const ApplyResult& result, bool stoppedByBackup) {
    if (result.ok()) {
        return {};
    }
    QStringList lines;
    if (stoppedByBackup) {
        lines << QStringLiteral("Backup failed, nothing was sent: ") + qText(result.error);
        return lines.join(QLatin1Char('\n'));
    }
    const bool endedEarly = !result.error.empty() && (result.app.sent || result.mc.sent);
    describeRecord("APP Configuration", result.app, endedEarly, lines);
    describeRecord("MC Configuration", result.mc, endedEarly, lines);
    const bool listed = result.error == result.app.error || result.error == result.mc.error;
    if (!result.error.empty() && !listed) {
        lines << qText(result.error);
    }
    return lines.join(QLatin1Char('\n'));
}
