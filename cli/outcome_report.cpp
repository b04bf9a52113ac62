#include "cli/outcome_report.h"

#include "cli/exit_codes.h"
#include "cli/user_messages.h"
#include "protocol/link_base.h"

#include <cinttypes>

namespace {

// What the dialog's boxes say, told as the run's result.
constexpr char kComplete[] = "Transmission complete.";
constexpr char kCompleteStarted[] = "Transmission complete.\nDevice started.";
constexpr char kProtocolError[] = "Protocollerror !";

int ReportWrite(const CRunOutcome& outcome) {
    TellUser(Told::kProblem, kProtocolError);
    switch (outcome.kind) {
    case RunEnd::kWriteNotSent:
        TellUserF(Told::kProblem,
                  "tovik-cli: the write at 0x%08" PRIX32 " could not be sent within %d s: "
                  "the line takes no more bytes (a stuck adapter, or flow control holding "
                  "it); the device is only partly programmed",
                  outcome.address, kFrameWriteMs / 1000);
        break;
    case RunEnd::kWriteUnanswered:
        // The time-out the write waited: 30 ms per data byte and a second.
        TellUserF(Told::kProblem,
                  "tovik-cli: no reply to the write at 0x%08" PRIX32 " within %.1f s; "
                  "the device is only partly programmed",
                  outcome.address, (outcome.length * 30 + 1000) / 1000.0);
        break;
    default:
        TellUserF(Told::kProblem,
                  "tovik-cli: the device refused the write at 0x%08" PRIX32
                  " (error %d); it is only partly programmed",
                  outcome.address, outcome.code);
        break;
    }
    return kExitWriteRefused;
}

// What became of the device when its port went away, told from how far the run had come.
int ReportLostPort(const CRunOutcome& outcome, const std::string& portName) {
    const char* what = "while searching for the device; nothing was erased";
    switch (outcome.phase) {
    case RunPhase::kStarting:
        what = "while starting the device; all data written, but the device did not confirm the "
               "start";
        break;
    case RunPhase::kProgramming:
        what = "during programming; it is only partly programmed";
        break;
    case RunPhase::kErasing:
        what = "during erasing; the device is erased";
        break;
    case RunPhase::kSearching:
        break;
    }
    TellUserF(Told::kProblem, "tovik-cli: the port %s was lost %s", portName.c_str(), what);
    if (!outcome.lostReason.empty()) {
        TellUserF(Told::kProblem, "tovik-cli: the system said: %s", outcome.lostReason.c_str());
    }
    return kExitPortFailed;
}

int ReportNoDevice(const CRunOutcome& outcome, double timeoutSeconds) {
    if (outcome.searches > 1) {
        TellUserF(Told::kProblem,
                  "tovik-cli: no device answered within %g s of the search after a failed "
                  "erase; the device may be partly erased",
                  timeoutSeconds);
    } else {
        TellUserF(Told::kProblem, "tovik-cli: no device answered within %g s", timeoutSeconds);
    }
    if (outcome.lateReplies > 0) {
        TellUserF(Told::kProblem,
                  "tovik-cli: but %d replies came after their time-out: a device is there "
                  "and answers too slowly (a USB adapter's latency timer, or a busy line)",
                  outcome.lateReplies);
    }
    return kExitNoDevice;
}

} // namespace

int ReportOutcome(const CRunOutcome& outcome, const OutcomeReportContext& context) {
    switch (outcome.kind) {
    case RunEnd::kStarted:
        TellUser(Told::kResult, kCompleteStarted);
        return kExitStarted;
    case RunEnd::kNotStarted:
        TellUser(Told::kResult, kComplete);
        TellUserF(Told::kProblem,
                  "tovik-cli: %sall data written, but the device did not confirm the start",
                  outcome.startAbandoned ? "stopped while waiting: " : "");
        return kExitNotStarted;
    case RunEnd::kWriteRefused:
    case RunEnd::kWriteUnanswered:
    case RunEnd::kWriteNotSent:
        return ReportWrite(outcome);
    case RunEnd::kNoDevice:
        return ReportNoDevice(outcome, context.timeoutSeconds);
    case RunEnd::kPortNotOpened:
        TellUserF(Told::kProblem, "tovik-cli: %s", outcome.openFailure.Text().c_str());
        return kExitPortFailed;
    case RunEnd::kPortLost:
        return ReportLostPort(outcome, context.portName);
    case RunEnd::kFileUnreadable:
        TellUserF(Told::kProblem,
                  "tovik-cli: the file could not be read during programming (%d); "
                  "the device is only partly programmed",
                  outcome.code);
        return kExitBadFile;
    case RunEnd::kStopped:
        TellUserF(Told::kProblem, "tovik-cli: stopped%s",
                  outcome.deviceFound ? "; the device is erased or only partly programmed" : "");
        return kExitInterrupted;
    case RunEnd::kNone:
        break;
    }
    return kExitInterrupted;
}
