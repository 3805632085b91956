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

// Which events of an update a step wording is for.
enum class Which : std::uint8_t {
    Any,
    App, // the application record's
    // A record's failure other than a silent controller: a time-out ends the whole update and is
    // told once, at the end.
    RecordNotTimeOut,
};

constexpr unsigned MC = static_cast<unsigned>(UpdateKind::Mc);
constexpr unsigned APP = static_cast<unsigned>(UpdateKind::App);
constexpr unsigned LPFP = static_cast<unsigned>(UpdateKind::Lpfp);
constexpr unsigned PARAMETERS = static_cast<unsigned>(UpdateKind::Parameters);
constexpr unsigned EVERY = MC | APP | LPFP;

constexpr auto NO_LOG = spdlog::level::off;
constexpr auto INFO = spdlog::level::info;
constexpr auto WARN = spdlog::level::warn;
constexpr auto ERROR_LEVEL = spdlog::level::err;

// One line of what a panel says while an update runs: for that step (of the events which says)
// of the updates named, the pattern (see fillWording) logged at level and, with progress,
// appended to the progress log. Every row that matches a step gives a line, in this order.
struct StepWording {
    OpStep step;
    unsigned updates;
    Which which;
    spdlog::level::level_enum level;
    bool progress;
    const char* pattern;
};

constexpr StepWording STEP_WORDINGS[] = {
    {OpStep::BackupSaved, EVERY | PARAMETERS, Which::Any, NO_LOG, true, "Backup saved to: {text}"},
    {OpStep::BackupFailed, EVERY, Which::Any, ERROR_LEVEL, true, "Backup failed, nothing was sent: {text}"},
    {OpStep::GettingDefaults, MC | APP, Which::Any, NO_LOG, true, "Getting Default {rec} Configuration"},
    // Both default records are read under one line.
    {OpStep::GettingDefaults, LPFP, Which::App, NO_LOG, true, "Getting Default {rec} Configuration"},
    {OpStep::FileRead, MC, Which::Any, INFO, false,
     "Configuration updated from XML file {text}. {count} parameters set"},
    {OpStep::FileRead, APP, Which::Any, NO_LOG, true,
     "Configuration updated from XML file {text}. {count} parameters set"},
    {OpStep::FileRead, LPFP, Which::Any, NO_LOG, true,
     "Configuration updated from LPFP file {text}. {count} parameters set"},
    {OpStep::Refused, MC, Which::Any, ERROR_LEVEL, false, "Failed to set {config}"},
    {OpStep::NotAcknowledged, EVERY, Which::Any, NO_LOG, true,
     "{rec} Configuration was not acknowledged by the bridge ({text})"},
    {OpStep::NotAcknowledged, MC, Which::Any, ERROR_LEVEL, false, "Failed to set {config}"},
    {OpStep::AnswerUnreadable, EVERY, Which::Any, WARN, true,
     "The controller's answer to the {rec} Configuration could not be read ({text}); reading it back "
     "decides whether it was stored"},
    {OpStep::Sent, MC, Which::Any, INFO, false, "Configuration sent to device"},
    {OpStep::Sent, APP | LPFP, Which::Any, NO_LOG, true, "Configuration sent to device"},
    {OpStep::GettingReadBack, MC, Which::Any, INFO, false, "Getting {rec} Configuration"},
    {OpStep::GettingReadBack, APP | LPFP, Which::Any, NO_LOG, true, "Getting {rec} Configuration"},
    {OpStep::Validating, MC | APP, Which::Any, NO_LOG, true, "Validating Updated {rec}"},
    {OpStep::Validating, LPFP, Which::App, NO_LOG, true, "Validating Updated {rec}"},
    {OpStep::Validated, EVERY, Which::Any, NO_LOG, true, "{rec} Configuration Validated"},
    {OpStep::Differs, MC, Which::Any, ERROR_LEVEL, false, "{rec} Configuration validation FAILED 123"},
    {OpStep::Differs, APP | LPFP, Which::Any, ERROR_LEVEL, false, "{Rec} Configuration validation FAILED"},
    {OpStep::Failed, LPFP, Which::RecordNotTimeOut, ERROR_LEVEL, false, "{text}"},
    // The parameter view shows each step on its status line.
    {OpStep::BackupFailed, PARAMETERS, Which::Any, NO_LOG, true, "The backup could not be saved: {text}"},
    {OpStep::Refused, PARAMETERS, Which::Any, NO_LOG, true, "{root} refused by the controller"},
    {OpStep::NotAcknowledged, PARAMETERS, Which::Any, NO_LOG, true,
     "{root} not acknowledged by the bridge ({text})"},
    {OpStep::AnswerUnreadable, PARAMETERS, Which::Any, NO_LOG, true,
     "The controller's answer to {root} could not be read ({text}); reading it back"},
    {OpStep::Interrupted, PARAMETERS, Which::Any, NO_LOG, true, "Interrupted"},
    {OpStep::Sent, PARAMETERS, Which::Any, NO_LOG, true, "{root} sent"},
    {OpStep::GettingReadBack, PARAMETERS, Which::Any, NO_LOG, true, "Reading {root} back"},
    {OpStep::Validating, PARAMETERS, Which::Any, NO_LOG, true, "Validating {root}"},
    {OpStep::Validated, PARAMETERS, Which::Any, NO_LOG, true, "{root} validated"},
    {OpStep::Differs, PARAMETERS, Which::Any, NO_LOG, true, "{root} differs after the write"},
    {OpStep::Failed, PARAMETERS, Which::Any, NO_LOG, true, "{text}"},
};

bool matches(Which which, const OpEvent& event) {
    switch (which) {
    case Which::Any:
        return true;
    case Which::App:
        return event.record == RecordKind::App;
    case Which::RecordNotTimeOut:
        return event.record != RecordKind::None && event.text != TIMED_OUT_TEXT;
    }
    return false;
}

// What the desktop says of each line of an apply's result (nullptr: nothing). Differs goes on
// with its fields, one line each.
struct ResultWording {
    Happened what;
    const char* pattern;
};

constexpr ResultWording RESULT_WORDINGS[] = {
    {Happened::BackupSaved, "Backup saved to: {text}"},
    {Happened::BackupStopped, "Backup failed, nothing was sent: {text}"},
    {Happened::Verified, nullptr},
    {Happened::VerifiedDespiteAnswer,
     "{rec} Configuration: the controller's answer could not be read ({text}); the read-back copy is "
     "equal, so the controller holds the record"},
    {Happened::AnswerUnreadable, "{rec} Configuration: the controller's answer could not be read ({text})"},
    {Happened::ExchangeFailed, "{rec} Configuration: {text}"},
    {Happened::NotAcknowledged,
     "{rec} Configuration: not acknowledged by the bridge ({text}), the controller never got it"},
    {Happened::Refused, "{rec} Configuration: refused by the controller, nothing was stored"},
    {Happened::Differs, "{rec} Configuration: the read-back copy differs in {count} field{s}:"},
    {Happened::DiffersUnnamed, "{rec} Configuration: the read-back copy differs from the record sent"},
    {Happened::NotSent, "{rec} Configuration: not sent"},
    // The line that ended the apply says why.
    {Happened::NotReached, nullptr},
    {Happened::Ended, "{text}"},
    {Happened::NoBackup, nullptr},
};

const char* resultPattern(Happened what) {
    for (const ResultWording& wording : RESULT_WORDINGS) {
        if (wording.what == what) {
            return wording.pattern;
        }
    }
    return nullptr;
}

} // namespace

std::vector<StepLine> updateStepLines(UpdateKind update, const OpEvent& event) {
    std::vector<StepLine> lines;
    for (const StepWording& wording : STEP_WORDINGS) {
        if (wording.step == event.step && (wording.updates & static_cast<unsigned>(update)) != 0 &&
            matches(wording.which, event)) {
            lines.push_back({wording.level, wording.progress,
                             qText(fillWording(wording.pattern, event.record, event.text, event.keys))});
        }
    }
    return lines;
}

QStringList resultLineTexts(const std::vector<ResultLine>& lines, bool withBackup, int maxFields) {
    QStringList texts;
    for (const ResultLine& line : lines) {
        const char* pattern = resultPattern(line.what);
        if (pattern == nullptr || (line.what == Happened::BackupSaved && !withBackup)) {
            continue;
        }
        texts << qText(fillWording(pattern, line.record, line.text, line.fields.size()));
        const int count = static_cast<int>(line.fields.size());
        for (int i = 0; i < count && i < maxFields; ++i) {
            const FieldDifference& difference = line.fields[static_cast<std::size_t>(i)];
            texts << QStringLiteral("  %1: sent %2, read back %3")
                         .arg(qText(difference.key), qText(difference.left), qText(difference.right));
        }
        if (count > maxFields) {
            texts << QStringLiteral("  and %1 more").arg(count - maxFields);
        }
    }
    return texts;
}

QString applyResultDetail(const ApplyResult& result, bool stoppedByBackup) {
    return resultLineTexts(describeApply(result, stoppedByBackup && !result.ok()), false)
        .join(QLatin1Char('\n'));
}

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
