#include "loader/loader_worker.h"

#include "loader/program_file.h"
#include "platform/clock.h"
#include "protocol/unit_link.h"

#include <memory>

namespace {

constexpr int kLinkBaudRate = 38400;

int ChosenRate(CFrontPanel* dialog) {
    switch (dialog->m_nBaudIndex) {
    case 1:
        return 38400;
    case 2:
        return 57600;
    case 3:
        return 115200;
    default:
        return dialog->m_bTry38400 ? 38400 : 57600;
    }
}

bool AutomaticRate(CFrontPanel* dialog) {
    int index = dialog->m_nBaudIndex;
    return index < 1 || index > 3;
}

void SearchStep(CFrontPanel* dialog, CUnitLink& link) {
    dialog->m_nEraseErrors = 0;
    int rate = ChosenRate(dialog);
    dialog->OnProbe(rate);
    link.SetPortParameters(rate, 8, 'n', 1);
    if (link.Execute("!D", kProbeTimeoutMs) == 0) {
        dialog->m_nState = 2;
    } else if (AutomaticRate(dialog)) {
        dialog->m_bTry38400 = !dialog->m_bTry38400;
    }
}

void EraseStep(CFrontPanel* dialog, CUnitLink& link) {
    dialog->m_nState = 1;
    const uint8_t first = dialog->m_nFirstCluster;
    const uint8_t end = dialog->m_nEndCluster;
    if (first < 1 || end < 1 || end < first || end > dialog->m_nMaxCluster) {
        return;
    }
    dialog->ShowErasing();
    for (uint8_t cluster = first; cluster < end; ++cluster) {
        link.AppendPayload(&cluster, 1);
        if (link.Execute("!E", kEraseTimeoutMs) != 0) {
            dialog->m_nEraseErrors = static_cast<uint8_t>(dialog->m_nEraseErrors + 1);
        }
        if (!dialog->m_bRun) {
            break;
        }
        UpdateProgress(dialog, cluster);
    }
    if (dialog->m_nEraseErrors == 0) {
        dialog->m_nState = 3;
    }
}

void ProgramStep(CFrontPanel* dialog, CUnitLink& link) {
    dialog->m_nState = 1;
    FILE* file = dialog->m_pFile;
    if (file) {
        dialog->ShowProgramming();
        ProgramFile(UpdateProgress, dialog, file, &link, 1);
        dialog->EndRun();
        dialog->m_bRun = 0;
    }
}

} // namespace

int LoaderThreadProc(CFrontPanel* dialog) {
    dialog->m_bThreadEnded = false;
    dialog->m_bThreadRun = true;
    dialog->m_bTry38400 = true;
    std::unique_ptr<CUnitLink> link;
    while (dialog->m_bThreadRun) {
        if (!dialog->m_bRun) {
            if (link) {
                link.reset();
                dialog->m_bLinkHeld = false;
                dialog->OnRunWoundDown();
            }
            Sleep(1);
            continue;
        }
        if (!dialog->m_pFile) {
            dialog->m_bRun = 0;
            break;
        }
        if (!link) {
            dialog->m_bLinkHeld = true;
            link = std::make_unique<CUnitLink>(dialog->m_nComIndex, kLinkBaudRate, kHostAddress,
                                               kDeviceUnit);
            dialog->m_nState = 1;
        }
        switch (dialog->m_nState) {
        case 1:
            SearchStep(dialog, *link);
            break;
        case 2:
            EraseStep(dialog, *link);
            break;
        case 3:
            ProgramStep(dialog, *link);
            break;
        default:
            break;
        }
    }
    // The link goes first: once the flag is set the front end may end the process, and the link's
    // clean-up must not meet a port layer that is being torn down.
    link.reset();
    dialog->m_bLinkHeld = false;
    dialog->m_bThreadEnded = true;
    return 0;
}
