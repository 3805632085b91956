#include "loader/panel_texts.h"

#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/config_source.h"
#include "loader/qt_text.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <exception>

namespace {

// endedEarly: the apply stopped after sending something, so a record it never reached is
// named as not sent.
void describeRecord(const char* name, const RecordOutcome& outcome, bool endedEarly, QStringList& lines) {
    if (!outcome.requested || outcome.verified) {
        return;
    }
    const QString record = QString::fromLatin1(name);
    const bool unreadable = outcome.answer && outcome.answer->answer == SetAnswer::Unreadable;
    if (unreadable && outcome.error.empty()) {
        lines << record + QStringLiteral(": the controller's answer could not be read (%1)")
                              .arg(qText(outcome.answer->detail));
    }
    if (!outcome.error.empty()) {
        lines << record + QStringLiteral(": ") + qText(outcome.error);
    } else if (outcome.answer && outcome.answer->answer == SetAnswer::NotAcknowledged) {
        lines << record + QStringLiteral(": not acknowledged by the bridge (%1), the controller never got it")
                              .arg(qText(outcome.answer->detail));
    } else if (outcome.sent && (outcome.rejected() || !outcome.answer)) {
        lines << record + QStringLiteral(": refused by the controller, nothing was stored");
    } else if (outcome.answer && !outcome.differences.empty()) {
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
    } else if (outcome.answer) {
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
    case Problem::OpenFailed: {
        // Why it could not be opened (not connected, refused, the backend's own reason), when
        // the opening said more than its fixed text.
        const QString reason = qText(identity.detail);
        const bool said = !reason.isEmpty() && reason != QStringLiteral("Failed to open device");
        return QStringLiteral("Failed to open device\n%1The bridge could not be opened; plug it in again, "
                              "then choose Devices > Rescan.")
            .arg(said ? reason + QLatin1Char('\n') : QString());
    }
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

QString applyWarningDetail(const ApplyResult& result) {
    QStringList lines;
    const std::pair<const char*, const RecordOutcome*> records[] = {{"APP Configuration", &result.app},
                                                                    {"MC Configuration", &result.mc}};
    for (const auto& [name, outcome] : records) {
        if (outcome->requested && outcome->verified && outcome->answer &&
            outcome->answer->answer == SetAnswer::Unreadable) {
            lines << QString::fromLatin1(name) +
                         QStringLiteral(
                             ": the controller's answer could not be read (%1); the read-back copy "
                             "is equal, so the controller holds the record")
                             .arg(qText(outcome->answer->detail));
        }
    }
    return lines.join(QLatin1Char('\n'));
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

BoxText cappedBoxText(const QString& text, int maxLines) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (maxLines < 2 || lines.size() <= maxLines) {
        return {text, QString()};
    }
    const int kept = maxLines - 1;
    QStringList shown = lines.mid(0, kept);
    shown << QStringLiteral("and %1 more").arg(lines.size() - kept);
    return {shown.join(QLatin1Char('\n')), text};
}

QString xmlFileProblem(const PreparedInput& prepared) {
    if (prepared.ok() || prepared.problem == InputProblem::ValuesRefused) {
        return {};
    }
    if (!prepared.reason.empty()) {
        return qText(prepared.reason);
    }
    const QString name = QFileInfo(qText(prepared.input.path)).fileName();
    const QString root = QString::fromLatin1(prepared.record == RecordKind::App ? APP_ROOT : MC_ROOT);
    if (prepared.foundRecord.empty()) {
        return QStringLiteral("%1 is not a configuration XML document (no %2 element at its root)")
            .arg(name, root);
    }
    return QStringLiteral("%1 holds the %2 record, not the %3 record")
        .arg(name, qText(prepared.foundRecord), root);
}

QString lpfpFileProblem(const PreparedInput& prepared) {
    if (prepared.ok() || prepared.problem == InputProblem::ValuesRefused) {
        return {};
    }
    const QString name = QFileInfo(qText(prepared.input.path)).fileName();
    if (prepared.problem == InputProblem::Unreadable) {
        return qText(prepared.reason);
    }
    if (prepared.reason == INVALID_CONFIGURATION_FILE) {
        return QStringLiteral("%1\n%2: it does not hold both configuration documents.")
            .arg(QString::fromLatin1(INVALID_CONFIGURATION_FILE), name);
    }
    const QString message = qText(prepared.reason);
    const QString head = message.section(QLatin1Char('\n'), 0, 0);
    QString cause = message.section(QLatin1Char('\n'), 1);
    if (cause.isEmpty() && head == QStringLiteral("Checksum Fail")) {
        cause = QStringLiteral("the file was changed or damaged after it was written (its checksum does "
                               "not match its content).");
    } else if (cause.isEmpty() && head == QStringLiteral("Decoding Failed.")) {
        cause = QStringLiteral("not an LPFP file (its content is not the text an LPFP file holds).");
    }
    return head + QStringLiteral("\n") + name + (cause.isEmpty() ? QString() : QStringLiteral(": ") + cause);
}

QString deviceListFailureReason(const QString& error, const QStringList& reasons) {
    static const QRegularExpression status(QStringLiteral("Status: (\\d+)"));
    const QRegularExpressionMatch match = status.match(error);
    QStringList lines;
    if (match.hasMatch()) {
        switch (match.captured(1).toInt()) {
        case STATUS_DEVICE_NOT_FOUND:
            lines << QStringLiteral("The bridges could not be found.");
            break;
        case STATUS_IO_ERROR:
            lines << QStringLiteral("The system could not be asked for its serial ports.");
            break;
        case STATUS_INVALID_PARAMETER:
            lines << QStringLiteral("The device settings could not be read.");
            break;
        default:
            lines << QStringLiteral("The driver could not list the bridges.");
            break;
        }
    }
    lines << reasons;
    return lines.join(QLatin1Char('\n'));
}

QString noDeviceHintText() {
    return QStringLiteral("No Varko 5 device is connected.\nPlug in a bridge and power its controller, then "
                          "choose Devices > Rescan.");
}

QString stampedText(const QTime& time, const QString& text) {
    return time.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + text;
}
