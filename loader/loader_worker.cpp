#include "loader/loader_worker.h"

#include "loader/baud_rates.h"
#include "loader/program_file.h"
#include "platform/clock.h"
#include "protocol/unit_link.h"
#include "serial/port_policy.h"

#include <memory>

namespace {

constexpr int kLinkBaudRate = 38400;

int ChosenRate(CRunContext* dialog) {
    int rate = FixedBaudRate(dialog->m_nBaudIndex);
    if (rate != 0) {
        return rate;
    }
    return dialog->m_bTry38400 ? kAutoFirstRate : kAutoSecondRate;
}

void BeginSearch(CRunContext* dialog) {
    const int search = dialog->m_result.m_nSearches.fetch_add(1) + 1;
    dialog->m_result.m_nActivity = kActivitySearching;
    dialog->m_pPanel->OnSearching(search);
}

void SearchStep(CRunContext* dialog, CUnitLink& link) {
    dialog->m_nEraseErrors = 0;
    int rate = ChosenRate(dialog);
    dialog->m_result.m_nProbeRate = rate;
    dialog->m_result.m_nProbes.fetch_add(1);
    link.SetPortParameters(rate, 8, 'n', 1);
    const int reply = link.Execute("!D", kProbeTimeoutMs);
    dialog->m_result.m_nLateReplies = link.LateReplies();
    if (reply == kReplyPortLost && link.IsPortLost()) {
        // Fails at once while the port is gone: paced as a probe that got no answer, so that a
        // search on a lost port does not spin.
        Sleep(kProbeTimeoutMs);
    }
    if (reply == 0) {
        dialog->m_result.m_nAnsweredRate = rate;
        dialog->m_result.m_bDeviceFound = true;
        dialog->m_nState = kPhaseErase;
    } else if (FixedBaudRate(dialog->m_nBaudIndex) == 0) {
        dialog->m_bTry38400 = !dialog->m_bTry38400;
    }
}

void EraseStep(CRunContext* dialog, CUnitLink& link) {
    dialog->m_nState = kPhaseSearch;
    const uint8_t first = dialog->m_nFirstCluster;
    const uint8_t end = dialog->m_nEndCluster;
    if (first < 1 || end < 1 || end < first || end > dialog->m_nMaxCluster) {
        return;
    }
    CRunResult& result = dialog->m_result;
    result.m_nActivity = kActivityErasing;
    dialog->m_pPanel->ShowErasing();
    if (!dialog->m_bRun) {
        // Stopped before the first erase went out (a station's slot that may begin no further
        // board stops here): the device is left as it was.
        return;
    }
    int failedCluster = 0;
    int failedReply = 0;
    for (uint8_t cluster = first; cluster < end; ++cluster) {
        link.AppendPayload(&cluster, 1);
        const int reply = link.Execute("!E", kEraseTimeoutMs);
        if (reply == kReplyPortLost && link.IsPortLost()) {
            // The rest of the pass would fail at once as well, and a failed pass is not what
            // happened: the port went away. Searching again finds the device once it is back.
            dialog->m_nEraseErrors = static_cast<uint8_t>(dialog->m_nEraseErrors + 1);
            result.m_nActivity = kActivitySearching;
            return;
        }
        if (reply != 0) {
            dialog->m_nEraseErrors = static_cast<uint8_t>(dialog->m_nEraseErrors + 1);
            result.m_nEraseFailures.fetch_add(1);
            if (failedCluster == 0) {
                failedCluster = cluster;
                failedReply = reply;
            }
        }
        if (!dialog->m_bRun) {
            break;
        }
        UpdateProgress(dialog, cluster);
    }
    if (dialog->m_nEraseErrors == 0) {
        dialog->m_nState = kPhaseProgram;
    } else if (dialog->m_bRun) {
        result.m_nPassEraseFailures = dialog->m_nEraseErrors;
        result.m_nFailedCluster = failedCluster;
        result.m_nFailedEraseReply = failedReply;
        BeginSearch(dialog);
    }
}

void ProgramStep(CRunContext* dialog, CUnitLink& link) {
    dialog->m_nState = kPhaseSearch;
    FILE* file = dialog->m_pFile;
    if (file) {
        dialog->m_result.m_nActivity = kActivityProgramming;
        dialog->m_pPanel->ShowProgramming(dialog->m_nLineCount);
        const int code = ProgramFile(UpdateProgress, dialog, file, &link, 1);
        // A write or the start that failed on a lost port is the port's end, not the device's.
        dialog->m_outcome = link.IsPortLost()
                                ? PortOutcome(dialog->m_nComIndex, true, dialog->m_result)
                                : PassOutcome(code, dialog->m_stopAs, dialog->m_result);
        dialog->m_result.m_nActivity = kActivityIdle;
        dialog->m_pPanel->EndRun();
        dialog->m_bRun = 0;
    }
}

// A run the worker did not end itself was stopped.
void SettleOutcome(CRunContext* dialog) {
    if (dialog->m_outcome.kind == RunEnd::kNone) {
        dialog->m_outcome = StopOutcome(dialog->m_stopAs, dialog->m_result);
    }
}

// The idle turn: lets go of the last run's link, and says so once.
void LetGoOfRun(CRunContext* dialog, std::unique_ptr<CUnitLink>& link) {
    link.reset();
    if (dialog->m_bLinkHeld) {
        SettleOutcome(dialog);
        dialog->m_bLinkHeld = false;
        dialog->m_pPanel->OnRunWoundDown();
    }
}

} // namespace

int LoaderThreadProc(CRunContext* dialog) {
    dialog->m_bThreadEnded = false;
    dialog->m_bThreadRun = true;
    dialog->m_bTry38400 = true;
    std::unique_ptr<CUnitLink> link;
    while (dialog->m_bThreadRun) {
        if (!dialog->m_bRun) {
            LetGoOfRun(dialog, link);
            Sleep(1);
            continue;
        }
        if (!dialog->m_pFile) {
            dialog->m_bRun = 0;
            break;
        }
        if (!link) {
            // The flag goes up before the run flag is looked at again: a Stop that comes in
            // between either sees it (and waits for the idle turn to let go) or has cleared the
            // run flag before this look, so that no link is made for a run nobody wants.
            dialog->m_bLinkHeld = true;
            if (!dialog->m_bRun) {
                continue;
            }
            link = std::make_unique<CUnitLink>(dialog->m_nComIndex, kLinkBaudRate, kHostAddress,
                                               kDeviceUnit);
            dialog->m_nState = kPhaseSearch;
            BeginSearch(dialog);
        }
        if (!link->IsConnected() && GetPortPolicy().GivingUpEndsRun()) {
            // Not opened, or lost and given up: nothing will ever answer on it.
            dialog->m_outcome =
                PortOutcome(dialog->m_nComIndex, link->IsPortLost(), dialog->m_result);
            dialog->m_bRun = 0;
            continue;
        }
        switch (dialog->m_nState) {
        case kPhaseSearch:
            SearchStep(dialog, *link);
            break;
        case kPhaseErase:
            EraseStep(dialog, *link);
            break;
        case kPhaseProgram:
            ProgramStep(dialog, *link);
            break;
        default:
            break;
        }
    }
    // The link goes first: once the flag is set the front end may end the process, and the link's
    // clean-up must not meet a port layer that is being torn down.
    link.reset();
    if (dialog->m_bLinkHeld) {
        SettleOutcome(dialog);
    }
    dialog->m_bLinkHeld = false;
    dialog->m_bThreadEnded = true;
    return 0;
}
