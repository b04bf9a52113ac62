#include "loader/file_check.h"

#include "loader/block_joiner.h"
#include "loader/data_coverage.h"
#include "loader/program_file.h"
#include "loader/srecord_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t kTopAddress = 0xFFFFFFFF;

// The reader reads one line in pieces of at most kRecordLineChars characters; the first piece of
// the rest of the text, as fgets would read it.
size_t PieceLength(const char* p, const char* end, bool* endsLine) {
    const size_t room = std::min<size_t>(static_cast<size_t>(end - p), kRecordLineChars);
    const void* lineEnd = std::memchr(p, '\n', room);
    *endsLine = lineEnd != nullptr;
    return lineEnd ? static_cast<size_t>(static_cast<const char*>(lineEnd) - p) + 1 : room;
}

// The position behind the next line end at or after p, or end.
const char* BehindLine(const char* p, const char* end) {
    const void* lineEnd = std::memchr(p, '\n', static_cast<size_t>(end - p));
    return lineEnd ? static_cast<const char*>(lineEnd) + 1 : end;
}

int CountLineEnds(const char* p, const char* end) {
    int ends = 0;
    while (const void* lineEnd = std::memchr(p, '\n', static_cast<size_t>(end - p))) {
        ++ends;
        p = static_cast<const char*>(lineEnd) + 1;
    }
    return ends;
}

bool HasText(const char* p, const char* end) {
    return std::any_of(p, end, [](char c) {
        return c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != '\v';
    });
}

// Lines that follow the end record are never read by a run; those with text in them are very
// likely a second file pasted behind the first.
void NoteLinesAfterEnd(const char* p, const char* end, int line, CFileCheck* check) {
    CFileWarning warning;
    warning.kind = CFileWarning::kAfterEnd;
    for (; p < end; ++line) {
        const char* next = BehindLine(p, end);
        if (HasText(p, next)) {
            warning.line = warning.line == 0 ? line : warning.line;
            warning.lastLine = line;
            ++warning.lineCount;
        }
        p = next;
    }
    if (warning.lineCount > 0) {
        check->warnings.push_back(warning);
    }
}

void NoteOverlap(int line, uint64_t first, uint64_t last, CFileCheck* check) {
    if (check->overlapLines++ < static_cast<int>(kKeptWarnings)) {
        CFileWarning warning;
        warning.kind = CFileWarning::kOverlap;
        warning.line = warning.lastLine = line;
        warning.lineCount = 1;
        warning.first = first;
        warning.last = last;
        check->warnings.push_back(warning);
    }
}

void NoteData(uint32_t address, int length, CFileCheck* check) {
    const uint32_t highest = static_cast<uint32_t>(address + static_cast<uint32_t>(length) - 1);
    if (check->dataBytes == 0) {
        check->lowestAddress = address;
        check->highestAddress = highest;
    } else {
        check->lowestAddress = std::min(check->lowestAddress, address);
        check->highestAddress = std::max(check->highestAddress, highest);
    }
    check->dataBytes += static_cast<uint64_t>(length);
    ++check->dataRecords;
}

} // namespace

int CheckSRecordText(const char* text, size_t size, CFileCheck* check,
                     const BlockListener& onBlock) {
    *check = CFileCheck();
    const char* const end = text + size;
    const char* p = text;
    const char* lineStart = text;
    int line = 1;
    // The check must predict a run's blocks without changing what the run will use.
    uint16_t limit = g_blockLimit;
    CBlockJoiner joiner(&limit);
    CDataCoverage coverage;
    int result = 0;
    bool endsLine = false;
    for (;;) {
        if (p == end) {
            result = kRecordNoLine;
            break;
        }
        const size_t piece = PieceLength(p, end, &endsLine);
        BlockSlot* target = joiner.Target();
        int16_t length = static_cast<int16_t>(target->length);
        result = DecodeSRecord(p, piece, target->data, &target->address, &length);
        target->length = static_cast<uint16_t>(length);
        // Joining moves the slot's address on; the record's own is needed below.
        const uint32_t address = target->address;
        const char* const pieceStart = p;
        p += piece;
        const bool due = joiner.TakeLine(result);
        check->lines = line;
        if (result != kRecordOk && result != kRecordEnd) {
            // A line longer than the reader reads fails in one of its pieces, whatever it holds:
            // its length is what the person must mend.
            const char* const lineEnd = endsLine ? p : BehindLine(pieceStart, end);
            if (lineEnd - lineStart > kRecordLineChars) {
                result = kCheckLineTooLong;
                check->lineLength = static_cast<int>(lineEnd - lineStart);
            }
            break;
        }
        if (result == kRecordOk && length > 0) {
            if (address + static_cast<uint64_t>(length) - 1 > kTopAddress) {
                result = kCheckBeyondTop;
                break;
            }
            uint64_t first = 0, last = 0;
            if (coverage.Add(address, static_cast<uint32_t>(length), &first, &last)) {
                NoteOverlap(line, first, last, check);
            }
            NoteData(address, length, check);
        }
        if (due) {
            const BlockSlot& block = joiner.Block();
            if (block.length != 0) {
                ++check->blocks;
                if (onBlock) {
                    onBlock(block.address, block.length);
                }
            }
            if (result == kRecordEnd) {
                break;
            }
            joiner.NextBlock();
        }
        if (endsLine) {
            ++line;
            lineStart = p;
        }
    }

    if (result == kRecordNoLine) {
        // The text ran out: every line of it was read, the last one perhaps without a line end.
        check->lines = lineStart < end ? line : line - 1;
        check->line = check->lines + 1;
        check->lineCount = line;
    } else {
        // The loop stopped inside line `line`, at p; the pieces it read ended endsLine lines.
        const char* const next = endsLine ? p : BehindLine(p, end);
        check->lineCount = line + (endsLine ? 1 : 0) + CountLineEnds(p, end);
        check->line = result == kRecordEnd ? 0 : line;
        if (result == kRecordEnd) {
            // The rest of the end record's line is not read, nor the lines after it.
            NoteLinesAfterEnd(next, end, line + 1, check);
            if (check->dataBytes == 0) {
                result = kCheckNoData;
                check->line = line;
            }
        }
    }
    check->result = result == kRecordEnd ? 0 : result;
    return check->result;
}

std::string FileCheckMessage(const CFileCheck& check) {
    const std::string at = "Sorry, line " + std::to_string(check.line) + " of the file ";
    const char* what = nullptr;
    switch (check.result) {
    case kRecordOk:
        return std::string();
    case kRecordNoLine:
        return "Sorry, the file ends without an end record !";
    case kCheckNoData:
        return "File contains no data !";
    case kCheckBeyondTop:
        return at + "has data beyond the address 0xFFFFFFFF !";
    case kCheckLineTooLong:
        return at + "is too long: " + std::to_string(check.lineLength) +
               " characters with its line end, and the loader reads lines of up to " +
               std::to_string(kRecordLineChars) +
               " ! Records of 16 to 64 data bytes are what it reads: make the file with "
               "objcopy --srec-len=32 or srec_cat -obs=32.";
    case kRecordBadAddress:
        what = "has a bad address";
        break;
    case kRecordBadChecksum:
        what = "has a wrong checksum";
        break;
    case kRecordNotSRecord:
        what = "is not an S-record";
        break;
    case kRecordUnsupportedType:
        what = "has an unsupported record type";
        break;
    case kRecordBadCount:
        what = "has a bad byte count";
        break;
    case kRecordBadData:
        what = "has bad data";
        break;
    default:
        what = "cannot be read";
        break;
    }
    return at + what + " !";
}

std::string FileWarningText(const CFileWarning& warning) {
    char text[200];
    if (warning.kind == CFileWarning::kOverlap) {
        std::snprintf(text, sizeof text,
                      "Warning: line %d of the file gives data for 0x%08llX to 0x%08llX, which an "
                      "earlier line gave already; both are written",
                      warning.line, static_cast<unsigned long long>(warning.first),
                      static_cast<unsigned long long>(warning.last));
    } else if (warning.line == warning.lastLine) {
        std::snprintf(text, sizeof text,
                      "Warning: line %d of the file follows the end record and is not loaded",
                      warning.line);
    } else {
        std::snprintf(text, sizeof text,
                      "Warning: lines %d to %d of the file follow the end record and are not "
                      "loaded",
                      warning.line, warning.lastLine);
    }
    return text;
}
