#include "loader/run_outcome.h"

#include "loader/program_file.h"
#include "serial/port_status.h"

RunPhase PhaseOf(const CRunResult& result) {
    if (result.m_bProgramEnded && result.m_nProgramResult == 0) {
        return RunPhase::kStarting;
    }
    if (result.m_bProgramEnded || result.m_nBlocksWritten > 0 ||
        result.m_nActivity == kActivityProgramming) {
        return RunPhase::kProgramming;
    }
    return result.m_bDeviceFound ? RunPhase::kErasing : RunPhase::kSearching;
}

CRunOutcome StopOutcome(RunEnd kind, const CRunResult& result) {
    CRunOutcome outcome;
    outcome.kind = kind;
    outcome.phase = PhaseOf(result);
    outcome.deviceFound = result.m_bDeviceFound;
    outcome.searches = result.m_nSearches;
    outcome.lateReplies = result.m_nLateReplies;
    return outcome;
}

CRunOutcome PassOutcome(int code, RunEnd stopKind, const CRunResult& result) {
    if (code == kProgramStopped) {
        return StopOutcome(stopKind, result);
    }
    CRunOutcome outcome = StopOutcome(RunEnd::kFileUnreadable, result);
    outcome.code = code;
    if (code == 0) {
        outcome.kind = result.m_nStartReply == 0 ? RunEnd::kStarted : RunEnd::kNotStarted;
        outcome.startAbandoned = result.m_bStartAbandoned;
    } else if (result.m_bWriteRefused) {
        // The pass ends with the write's reply code, which only the flag tells from its own.
        outcome.kind = result.m_bWriteNotSent ? RunEnd::kWriteNotSent
                       : code == -1           ? RunEnd::kWriteUnanswered
                                              : RunEnd::kWriteRefused;
        outcome.address = result.m_nRefusedAddress;
        outcome.length = result.m_nRefusedLength;
    }
    // Every other end of the pass is a line it could not read, or a file it could not rewind.
    return outcome;
}

CRunOutcome PortOutcome(int portIndex, bool lost, const CRunResult& result) {
    CRunOutcome outcome = StopOutcome(lost ? RunEnd::kPortLost : RunEnd::kPortNotOpened, result);
    if (lost) {
        PortLost(portIndex, &outcome.lostReason);
    } else if (!LastPortOpenFailure(portIndex, &outcome.openFailure)) {
        outcome.openFailure.kind = CPortOpenFailure::kOther;
        outcome.openFailure.reason = "it could not be opened";
    }
    return outcome;
}
