#include "loader/program_file.h"

#include "loader/block_joiner.h"
#include "loader/record_count.h"
#include "loader/srecord_reader.h"
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

int ProgramPass(ProgressFunction progress, CRunContext* panel, FILE* file, CLinkBase* link,
                uint8_t sendFlag, int* startReply) {
    if (!file) {
        return kProgramNoFile;
    }
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return kProgramRewindFailed;
    }
    CBlockJoiner joiner(&g_blockLimit);
    CRecordCount counted;
    int line = 0;
    for (;;) {
        if (!panel->m_bRun) {
            return kProgramStopped;
        }
        BlockSlot* target = joiner.Target();
        int16_t length = static_cast<int16_t>(target->length);
        char type = 0;
        int result = ReadTypedSRecord(target->data, file, &target->address, &length, &type);
        target->length = static_cast<uint16_t>(length);
        result = counted.Take(result, type, target->address);
        progress(panel, line++);
        const bool due = joiner.TakeLine(result);
        if (result != kRecordOk && result != kRecordEnd) {
            return result;
        }
        if (!due) {
            continue;
        }
        const BlockSlot& block = joiner.Block();
        if (block.length != 0) {
            int reply = SendBlock(sendFlag, block, link, panel);
            if (reply != 0) {
                return reply;
            }
        }
        if (result == kRecordEnd) {
            if (link) {
                *startReply = StartDevice(link, panel);
            }
            return 0;
        }
        joiner.NextBlock();
    }
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
