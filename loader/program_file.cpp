#include "loader/program_file.h"

#include "loader/record_walk.h"
#include "protocol/link_base.h"

uint16_t g_blockLimit = kFirstBlockLimit;

namespace {

constexpr int kStartTimeoutMs = 60000;

int SendBlock(uint8_t sendFlag, const BlockSlot& block, CLinkBase* link, CRunContext* panel) {
    if (panel->m_onBlock) {
        panel->m_onBlock(block.address, block.length);
    }
    int reply = WriteBlock(sendFlag, block.address, block.data, block.length, link);
    CRunResult& result = panel->m_result;
    if (reply == 0) {
        result.m_nBytesWritten.fetch_add(block.length);
        result.m_nBlocksWritten.fetch_add(1);
    } else {
        result.m_nRefusedAddress = block.address;
        result.m_nRefusedLength = block.length;
        result.m_bWriteNotSent = link->FrameNotSent();
        result.m_bWriteRefused = true;
        panel->m_pPanel->ShowWriteFailed(reply);
    }
    return reply;
}

int StartDevice(CLinkBase* link, CRunContext* panel) {
    CRunResult& result = panel->m_result;
    result.m_nActivity = kActivityStarting;
    if (panel->m_bStopAbandonsStart) {
        link->m_pWaitWhile = &panel->m_bRun;
    }
    int reply = link->Execute("!G", kStartTimeoutMs);
    link->m_pWaitWhile = nullptr;
    if (reply != 0 && panel->m_bStopAbandonsStart && !panel->m_bRun) {
        result.m_bStartAbandoned = true;
    }
    panel->m_pPanel->ShowStartReply(reply);
    return reply;
}

} // namespace

int WriteBlock(uint8_t sendFlag, uint32_t address, const uint8_t* data, int length,
               CLinkBase* link) {
    if (sendFlag == 0) {
        return 0;
    }
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint8_t byte = static_cast<uint8_t>(address >> shift);
        link->AppendPayload(&byte, 1);
    }
    if (length > 0) {
        link->AppendPayload(data, length);
    }
    return link->Execute("!W", length * 30 + 1000);
}

namespace {

// What the pass does with each line and block of the walk: progress, the stop flag, the writes.
struct CPassVisitor {
    ProgressFunction progress;
    CRunContext* panel;
    CLinkBase* link;
    uint8_t sendFlag;
    int line = 0;
    int refused = 0; // a refused write's code, which may be any number, kRecordEnd too

    int BeforeLine() const { return panel->m_bRun ? 0 : kProgramStopped; }
    int Line(int result, char, uint32_t, int16_t, const CRecordCount&) {
        progress(panel, line++);
        return result;
    }
    int Block(const BlockSlot& block) {
        refused = SendBlock(sendFlag, block, link, panel);
        return refused;
    }
};

int ProgramPass(ProgressFunction progress, CRunContext* panel, FILE* file, CLinkBase* link,
                uint8_t sendFlag, int* startReply) {
    if (!file) {
        return kProgramNoFile;
    }
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return kProgramRewindFailed;
    }
    CStreamPieces pieces(file);
    CPassVisitor visitor{progress, panel, link, sendFlag};
    const int result = WalkRecords(pieces, &g_blockLimit, visitor);
    if (visitor.refused != 0 || result != kRecordEnd) {
        return result;
    }
    if (link) {
        *startReply = StartDevice(link, panel);
    }
    return 0;
}

} // namespace

int ProgramFile(ProgressFunction progress, CRunContext* panel, FILE* file, CLinkBase* link,
                uint8_t sendFlag) {
    int startReply = -1;
    int result = ProgramPass(progress, panel, file, link, sendFlag, &startReply);
    panel->m_result.m_nProgramResult = result;
    panel->m_result.m_nStartReply = startReply;
    panel->m_result.m_bProgramEnded = true;
    return result;
}
