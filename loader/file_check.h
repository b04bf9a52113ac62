#pragma once
// The check a front end runs on the in-memory copy of an S-record file before a run starts, so
// that a broken file is refused while the device is still untouched rather than after it has been
// erased. One pass over the text gives the verdict, the figures a front end shows, the warnings,
// and, for a dry run, the write blocks a run would send.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Results of the check besides 0 and the record results of a failing line (kRecordBadAddress ...
// kRecordBadData, and kRecordNoLine when the text ends without an end record).
constexpr int kCheckNoData = 20;      // an end record, but no data record with data before it
constexpr int kCheckBeyondTop = 21;   // a data record runs past the address 0xFFFFFFFF
constexpr int kCheckLineTooLong = 22; // a line fails because it is longer than the reader reads

// Something a run loads as the file says, but which is most likely a mistake in the file.
struct CFileWarning {
    enum Kind {
        kOverlap,  // line gives bytes from first to last that an earlier data record gave
        kAfterEnd, // lines line to lastLine (lineCount of them with text) follow the end record
    };
    Kind kind = kOverlap;
    int line = 0;
    int lastLine = 0;
    int lineCount = 0;
    uint64_t first = 0, last = 0;
};

struct CFileCheck {
    // 0 when the text reads cleanly up to an end record and holds data; else see above.
    int result = 0;
    // Lines are numbered as an editor numbers them: 1 + the line ends before them.
    // The failing line; for kRecordNoLine the number of lines + 1.
    int line = 0;
    // For kCheckLineTooLong: the failing line's length, its line end included.
    int lineLength = 0;
    // Lines up to and including the end record, or the failing line.
    int lines = 0;
    // 1 + the line ends in the whole text (what CountLines gives): the programming pass's range.
    int lineCount = 1;
    // Data bytes in the data records read.
    uint64_t dataBytes = 0;
    // Data records read that carry at least one data byte. A data record without data reads the
    // same as a header (length 0, no type returned), so neither is counted.
    int dataRecords = 0;
    // The addresses of the lowest and the highest data byte; valid when dataBytes > 0.
    uint32_t lowestAddress = 0, highestAddress = 0;
    // The write blocks a run would send (starting at the block limit of this moment).
    int blocks = 0;
    // The first kKeptWarnings warnings, in the order of their lines; overlapLines counts every
    // line that overlaps, also those beyond the kept warnings.
    std::vector<CFileWarning> warnings;
    int overlapLines = 0;
};

constexpr size_t kKeptWarnings = 20;

// Called with each write block a run would send, in order (a dry run's listing).
using BlockListener = std::function<void(uint32_t address, int length)>;

// Checks text[0] to text[size - 1] line by line, reading every line exactly as ReadSRecord would
// read it from a stream holding the same bytes, up to the end record; counts the line ends of the
// whole text. Returns check->result. The check has no effect on the programming pass's block limit.
int CheckSRecordText(const char* text, size_t size, CFileCheck* check,
                     const BlockListener& onBlock = nullptr);

// The text a person is shown for a failed check, e.g.
// "Sorry, line 118 of the file has a wrong checksum !". Empty for a passed check.
std::string FileCheckMessage(const CFileCheck& check);

// The text of one warning, e.g. "Warning: line 7 of the file gives data at 0x00010000 to
// 0x0001000F again; the device is written there twice".
std::string FileWarningText(const CFileWarning& warning);
