#include "loader/file_check.h"

#include "loader/data_coverage.h"
#include "loader/program_file.h"
#include "loader/record_walk.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t kTopAddress = 0xFFFFFFFF;

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

// Lines whose ends are a CR alone (an old Mac convention) read as one long line of records;
// p to lineEnd is one line as the reader sees it.
const char* FindCrOnlyLineEnd(const char* p, const char* lineEnd) {
    while (const void* cr = std::memchr(p, '\r', static_cast<size_t>(lineEnd - p))) {
        p = static_cast<const char*>(cr) + 1;
        if (p < lineEnd && *p == 'S') {
            return p - 1;
        }
    }
    return nullptr;
}

bool HasCrOnlyLineEnds(const char* p, const char* lineEnd) {
    return FindCrOnlyLineEnd(p, lineEnd) != nullptr;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A data record that announces data, whether or not its digits are right, at the start of the
// line at p.
bool AnnouncesData(const char* p, const char* end) {
    if (end - p < 2 || p[0] != 'S' || p[1] < '1' || p[1] > '3') {
        return false;
    }
    bool endsLine = false;
    const size_t piece = PieceLength(p, end, &endsLine);
    uint8_t data[kRecordDataCapacity];
    uint32_t address = 0;
    int16_t length = 0;
    const int result = DecodeSRecord(p, piece, data, &address, &length);
    return result != kRecordBadCount && length > 0;
}

// Lines that follow the end record are never read by a run. A data record among them means a
// second image pasted behind the first: its line is returned, to refuse the file. Other lines
// with text in them are warned of; 0 then.
int LookAtLinesAfterEnd(const char* p, const char* end, int line, CFileCheck* check) {
    CFileWarning warning;
    warning.kind = CFileWarning::kAfterEnd;
    for (; p < end; ++line) {
        const char* next = BehindLine(p, end);
        if (AnnouncesData(p, end)) {
            return line;
        }
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
    return 0;
}

void NoteOverlap(int line, uint64_t first, uint64_t last, CFileCheck* check) {
    if (check->overlapLines >= static_cast<int>(kKeptWarnings)) {
        check->moreOverlapsLine = check->moreOverlapsLine == 0 ? line : check->moreOverlapsLine;
        check->moreOverlapsLastLine = line;
    }
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

// What the check does with each line and block of the walk: the figures, the warnings, and the
// rules of a line that the pass has no need of (data beyond the top address, a header whose line
// hides records behind CRs alone), and why a failing line fails.
struct CCheckVisitor {
    const CTextPieces& pieces;
    CFileCheck* check;
    const BlockListener& onBlock;
    CDataCoverage coverage;

    static int BeforeLine() { return 0; }

    int Line(int result, char type, uint32_t address, int16_t length, const CRecordCount& counted) {
        check->lines = pieces.Line();
        if (result == kRecordOk && length > 0) {
            if (address + static_cast<uint64_t>(length) - 1 > kTopAddress) {
                return kCheckBeyondTop;
            }
            uint64_t first = 0, last = 0;
            if (coverage.Add(address, static_cast<uint32_t>(length), &first, &last)) {
                NoteOverlap(pieces.Line(), first, last, check);
            }
            NoteData(address, length, check);
        } else if (result == kRecordOk && type == '0') {
            // The reader passes over the rest of a header's line, however long; unless the line is
            // many records whose line ends are CRs alone, which would be passed over with it.
            if (HasCrOnlyLineEnds(pieces.LineStart(), pieces.Position())) {
                return kCheckCrLineEnds;
            }
        } else if (result == kRecordCountWrong) {
            check->countGiven = counted.Counted();
            check->countFound = counted.Records();
        } else if (result != kRecordOk && result != kRecordEnd && result != kRecordNoLine) {
            return WhyLineFails(result);
        }
        return result;
    }

    // A record's line longer than the reader reads fails in one of its pieces, whatever it holds:
    // its length is what the person must mend, or its line ends. A line that does not even start
    // as a record is not one, however long.
    int WhyLineFails(int result) const {
        const char* const lineStart = pieces.LineStart();
        const char* const lineEnd =
            pieces.EndsLine() ? pieces.Position() : BehindLine(pieces.Position(), pieces.End());
        const bool record = *lineStart == 'S';
        if (record && HasCrOnlyLineEnds(lineStart, lineEnd)) {
            return kCheckCrLineEnds;
        }
        if (record && lineEnd - lineStart > kRecordLineChars) {
            check->lineLength = static_cast<int>(lineEnd - lineStart);
            check->lineUnended = lineEnd[-1] != '\n';
            return kCheckLineTooLong;
        }
        return result;
    }

    int Block(const BlockSlot& block) const {
        ++check->blocks;
        if (onBlock) {
            onBlock(block.address, block.length);
        }
        return 0;
    }
};

} // namespace

int CheckSRecordText(const char* text, size_t size, CFileCheck* check,
                     const BlockListener& onBlock) {
    *check = CFileCheck();
    const char* const end = text + size;
    CTextPieces pieces(text, size);
    CCheckVisitor visitor{pieces, check, onBlock, {}};
    // The check must predict a run's blocks without changing what the run will use.
    uint16_t limit = g_blockLimit;
    int result = WalkRecords(pieces, &limit, visitor);
    const int line = pieces.Line();
    const char* const p = pieces.Position();
    const bool endsLine = pieces.EndsLine();
    if (result == kRecordNoLine) {
        // The text ran out: every line of it was read, the last one perhaps without a line end.
        check->lines = pieces.LineStart() < end ? line : line - 1;
        check->line = check->lines + 1;
        check->lineCount = line;
        // An end record behind a CR alone is never found.
        if (const char* cr = FindCrOnlyLineEnd(text, end)) {
            result = kCheckCrLineEnds;
            check->line = 1 + CountLineEnds(text, cr);
        }
    } else {
        // The walk stopped inside line `line`, at p; the pieces it read ended endsLine lines.
        const char* const next = endsLine ? p : BehindLine(p, end);
        check->lineCount = line + (endsLine ? 1 : 0) + CountLineEnds(p, end);
        check->line = result == kRecordEnd ? 0 : line;
        if (result == kRecordEnd) {
            // The rest of the end record's line is not read, nor the lines after it.
            check->endLine = line;
            const int dataLine = LookAtLinesAfterEnd(next, end, line + 1, check);
            if (dataLine != 0) {
                result = kCheckDataAfterEnd;
                check->line = dataLine;
            } else if (check->dataBytes == 0) {
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
        return at + "is too long: " + (check.cut && check.lineUnended ? "more than " : "") +
               std::to_string(check.lineLength) +
               " characters with its line end, and the loader reads lines of up to " +
               std::to_string(kRecordLineChars) +
               " ! Records of 16 to 64 data bytes are what it reads: rewrite the file with 32 "
               "data bytes a line, e.g. srec_cat old.s19 -o new.s19 -obs=32 "
               "-execution-start-address=0";
    case kCheckDataAfterEnd:
        return at + "holds data after the end record on line " + std::to_string(check.endLine) +
               ": two images were joined by mistake, and the second would not be loaded ! Join "
               "them with one end record at the end, e.g. srec_cat first.s19 second.s19 -o "
               "both.s19";
    case kCheckCrLineEnds:
        return at + "holds several records: the lines of the file end in a CR alone ! Convert "
                    "them to line feeds first, e.g. tr '\\r' '\\n' < old.s19 > new.s19";
    case kRecordCountWrong:
        return at + "counts " + std::to_string(check.countGiven) + " data records before it, but " +
               std::to_string(check.countFound) + " are there: records were lost !";
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

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Nearly every line of a file is a record of one piece that neither starts nor ends anything:
// such lines from p on are passed with a look at their first four characters and at where their
// count says they end. Returns where the first other line, or an unended one, starts. A record
// whose line ends before its count says fails the check, whatever follows: jumping past more
// than one line there changes nothing of the verdict.
const char* PassPlainLines(const char* p, const char* end) {
    while (end - p >= 4 && p[0] == 'S' && p[1] != '0' && p[1] < '7') {
        const int high = HexValue(p[2]);
        const int low = HexValue(p[3]);
        if (high < 0 || low < 0) {
            break;
        }
        const char* const counted = p + 4 + 2 * (high * 16 + low);
        const char* next = nullptr;
        if (end - counted >= 1 && counted[0] == '\n') {
            next = counted + 1;
        } else if (end - counted >= 2 && counted[0] == '\r' && counted[1] == '\n') {
            next = counted + 2;
        } else if (const void* found = std::memchr(p, '\n', static_cast<size_t>(end - p))) {
            next = static_cast<const char*>(found) + 1;
        } else {
            break;
        }
        if (next - p > kRecordLineChars) {
            break;
        }
        p = next;
    }
    return p;
}

bool CSRecordScreen::MayPass(const char* text, size_t size) {
    const char* const end = text + size;
    while (!m_ended && m_next < size) {
        if (!m_skipping && m_next == m_lineStart) {
            m_next = m_lineStart = static_cast<size_t>(PassPlainLines(text + m_next, end) - text);
            if (m_next == size) {
                break;
            }
        }
        const char* const p = text + m_next;
        if (m_skipping) {
            const void* lineEnd = std::memchr(p, '\n', size - m_next);
            if (lineEnd == nullptr) {
                m_next = size;
                return true;
            }
            m_next = m_lineStart =
                static_cast<size_t>(static_cast<const char*>(lineEnd) - text) + 1;
            m_skipping = false;
            continue;
        }
        bool endsLine = false;
        const size_t piece = PieceLength(p, end, &endsLine);
        const bool whole = endsLine || piece == static_cast<size_t>(kRecordLineChars);
        bool fails = false;
        if (p[0] != 'S') {
            fails = true;
        } else if (m_next != m_lineStart) {
            // A further piece of a long line: decoding it is rare enough to afford.
            if (!whole) {
                return true;
            }
            uint8_t data[kRecordDataCapacity];
            uint32_t address = 0;
            int16_t length = 0;
            const int result = DecodeSRecord(p, piece, data, &address, &length);
            m_ended = result == kRecordEnd;
            fails = result != kRecordOk && result != kRecordEnd && result != kRecordCount;
        } else if (piece >= 4 && IsHex(p[2]) && IsHex(p[3])) {
            // The first piece of a line: only what changes how the rest is read is looked at.
            m_ended = p[1] >= '7' && p[1] <= '9';
            m_skipping = p[1] == '0' && !endsLine;
        } else if (!whole) {
            return true;
        }
        if (fails) {
            // The check refuses this line (or one before it). Of a line that starts as a record,
            // what it says depends on the whole line, which is awaited unless it has no end in
            // sight.
            const void* lineEnd = std::memchr(p, '\n', size - m_next);
            return text[m_lineStart] == 'S' && lineEnd == nullptr &&
                   size - m_lineStart <= kScreenLineWait;
        }
        if (m_skipping) {
            m_next += piece;
            continue;
        }
        if (!whole) {
            return true;
        }
        m_next += piece;
        if (endsLine) {
            m_lineStart = m_next;
        }
    }
    return true;
}

std::vector<CToldWarning> ToldWarnings(const CFileCheck& check) {
    std::vector<CToldWarning> told;
    int overlapsKept = 0;
    for (const CFileWarning& warning : check.warnings) {
        const bool overlap = warning.kind == CFileWarning::kOverlap;
        told.push_back(CToldWarning{overlap ? "overlap" : "after_end", warning.line,
                                    warning.lastLine, FileWarningText(warning)});
        overlapsKept += overlap;
    }
    if (check.overlapLines > overlapsKept) {
        told.push_back(
            CToldWarning{"more_overlaps", check.moreOverlapsLine, check.moreOverlapsLastLine,
                         "Warning: " + std::to_string(check.overlapLines - overlapsKept) +
                             " more lines of the file give data that earlier lines "
                             "gave"});
    }
    return told;
}
