// Feeds arbitrary bytes as a file to the S-record reader, line by line, and as a whole-file check
// of the bytes in memory, which must agree with what the programming pass reads from a stream.

#include "loader/file_check.h"
#include "loader/program_file.h"
#include "loader/record_walk.h"
#include "loader/run_controller.h"
#include "loader/silent_panel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kAddressSentinel = 0xA5A5A5A5;
constexpr int16_t kLengthSentinel = 0x3C3C;
constexpr uint8_t kDataSentinel = 0xC3;
// Room beyond the largest count, to catch a write past it.
constexpr int kDataRoom = kRecordDataCapacity + 64;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

using Blocks = std::vector<std::pair<uint32_t, int>>;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) {
        return 0; // fmemopen refuses an empty buffer
    }
    FILE* file = fmemopen(const_cast<uint8_t*>(bytes), size, "r");
    if (file == nullptr) {
        return 0;
    }
    uint8_t data[kDataRoom];
    for (int calls = 0;; ++calls) {
        // Every call consumes at least one byte, so the loop ends within size + 1 calls.
        Require(calls <= static_cast<int>(size));
        std::memset(data, kDataSentinel, sizeof data);
        uint32_t address = kAddressSentinel;
        int16_t length = kLengthSentinel;
        const int result = ReadSRecord(data, file, &address, &length);
        if (result == kRecordNoLine) {
            Require(length == kLengthSentinel && address == kAddressSentinel);
            break;
        }
        switch (result) {
        case kRecordNotSRecord:
        case kRecordBadCount:
            Require(length == kLengthSentinel && address == kAddressSentinel);
            break;
        case kRecordEnd:
        case kRecordUnsupportedType:
            Require(length == 0 && address == kAddressSentinel);
            break;
        case kRecordCount:
            Require(length == 0 && address <= 0xFFFFFF);
            break;
        case kRecordBadAddress:
            // A data record's length: count 0..255 less 3..5 (a count record's: 0).
            Require(length >= -5 && length <= 252 && address == kAddressSentinel);
            break;
        case kRecordOk:
        case kRecordBadData:
        case kRecordBadChecksum:
            Require(length >= -5 && length <= 252);
            break;
        default:
            std::abort();
        }
        if (result == kRecordOk) {
            // Header: length 0 and address 0. Data record: 'S', type, count, at least two
            // address bytes, the data and the checksum fit in one piece of a line.
            Require(length >= 0 && 6 + 4 + 2 * length <= kRecordLineChars);
        }
        // Data bytes land only within the count announced: never beyond (uint8_t)length.
        const int written =
            result == kRecordOk || result == kRecordBadData || result == kRecordBadChecksum
                ? static_cast<uint8_t>(length)
                : 0;
        for (int i = written; i < kDataRoom; ++i) {
            Require(data[i] == kDataSentinel);
        }
    }

    std::rewind(file);
    const int lineCount = CountLines(file);

    g_blockLimit = kFirstBlockLimit;
    CFileCheck check;
    Blocks listed;
    const int result = CheckSRecordText(
        reinterpret_cast<const char*>(bytes), size, &check,
        [&](uint32_t address, int length) { listed.emplace_back(address, length); });
    Require(result == check.result && check.lineCount == lineCount);
    Require(g_blockLimit == kFirstBlockLimit);
    if (result == 0) {
        Require(check.line == 0 && check.lines >= 2 && check.dataBytes > 0);
        Require(check.dataBytes <= 252ull * static_cast<unsigned>(check.dataRecords));
        Require(check.lowestAddress <= check.highestAddress);
        Require(check.blocks == static_cast<int>(listed.size()));
    } else {
        Require(check.line >= 1 && !FileCheckMessage(check).empty());
    }
    Require(check.warnings.size() <= kKeptWarnings + 1);
    for (const CFileWarning& warning : check.warnings) {
        Require(warning.line >= 1 && warning.lastLine >= warning.line);
        Require(!FileWarningText(warning).empty());
    }

    // What the check passes, the programming pass reads to its end with the very same blocks; what
    // the pass cannot read to its end, the check refuses.
    CSilentPanel silent;
    CRunController run(&silent);
    run.BeginRun(file, lineCount, 0, 1); // no worker: the pass runs here
    Blocks written;
    run.m_onBlock = [&](uint32_t address, int length) { written.emplace_back(address, length); };
    const int pass = ProgramFile(UpdateProgress, &run, file, nullptr, 0);
    if (result == 0) {
        Require(pass == 0 && written == listed);
    }
    // A record beyond the top address ends the check before the line the pass ends on, if any;
    // a line too long, or one of many records behind CRs alone, is a failing line told for what
    // it is (a header's line the pass passes over whole); data behind the end record the pass
    // never reads.
    if (pass == 0) {
        Require(result == 0 || result == kCheckNoData || result == kCheckBeyondTop ||
                result == kCheckCrLineEnds || result == kCheckDataAfterEnd);
    } else {
        Require(result == pass || result == kCheckBeyondTop || result == kCheckLineTooLong ||
                result == kCheckCrLineEnds);
    }

    // A read screened as it goes stops only where the check of what was read refuses the file as
    // the check of the whole does.
    for (size_t step : {size_t{1}, size_t{97}}) {
        CSRecordScreen screen;
        for (size_t read = std::min(step, size);; read = std::min(read + step, size)) {
            if (!screen.MayPass(reinterpret_cast<const char*>(bytes), read)) {
                CFileCheck part;
                CheckSRecordText(reinterpret_cast<const char*>(bytes), read, &part);
                Require(result != 0 && part.result == result && part.line == check.line);
                Require(part.lineLength == check.lineLength ||
                        (part.lineUnended && part.lineLength < check.lineLength));
                break;
            }
            if (read == size) {
                break;
            }
        }
    }
    std::fclose(file);
    return 0;
}
