#pragma once
// The programming pass: a whole S-record file into the device.
//
// The file is read line by line; data records whose addresses follow on without a gap are joined
// into blocks up to g_blockLimit bytes and each block is written with one "!W"; at the end record
// the device is started with "!G". Progress moves once per line. The pass gives up when the run
// flag is found clear before a line.

#include "loader/run_context.h"

#include <cstdint>
#include <cstdio>

class CLinkBase;

struct BlockSlot {
    uint16_t length;
    uint8_t data[258];
    uint32_t address;
};

// The block limit: 198 bytes, until a line with data below 0x10000 is seen; from then on 70 for
// the rest of the process (every later block, run and file).
extern uint16_t g_blockLimit;
constexpr uint16_t kFirstBlockLimit = 198;
constexpr uint16_t kLowMemoryBlockLimit = 70;

// The most data one "!W" can carry: a frame holds 252 payload bytes, less the command text and
// the 4 address bytes.
constexpr int kMaxWriteData = 246;

// Results of ProgramFile besides 0, the record results of a bad line and a refused write's code.
constexpr int kProgramNoFile = -5;
constexpr int kProgramRewindFailed = -6;
constexpr int kProgramStopped = -117;
constexpr int kProgramNoEndRecord = -11;

using ProgressFunction = int (*)(CRunContext* panel, int position);

// Writes one block with "!W" (time-out 30 ms per byte plus 1000 ms) and returns its reply code
// (the pass shows "Protocollerror !" when that is not 0). With sendFlag 0 it sends nothing and
// returns 0.
int WriteBlock(uint8_t sendFlag, uint32_t address, const uint8_t* data, int length,
               CLinkBase* link);

// 0 when the end record was reached and "!G" was sent (whatever its reply; the user is told which),
// kProgramNoFile, kProgramRewindFailed, kProgramStopped, kProgramNoEndRecord, the record result of
// a line that failed to decode, kRecordCountWrong for a count record (S5, S6) that does not match
// the data records before it (one that matches is passed over), or the reply code of a refused
// write. The progress function gets
// the run (0 for the first line); the run's result records the blocks written, a refused write
// and the end. Without a link (a dry run), nothing is sent and the start command is left out.
int ProgramFile(ProgressFunction progress, CRunContext* panel, FILE* file, CLinkBase* link,
                uint8_t sendFlag);
