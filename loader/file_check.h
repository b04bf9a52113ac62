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

// Results of the check besides 0, the record results of a failing line (kRecordBadAddress ...
// kRecordBadData, and kRecordNoLine when the text ends without an end record) and
// kRecordCountWrong (a count record that does not match the data records before it).
constexpr int kCheckNoData = 20;       // an end record, but no data record with data before it
constexpr int kCheckBeyondTop = 21;    // a data record runs past the address 0xFFFFFFFF
constexpr int kCheckLineTooLong = 22;  // a line fails because it is longer than the reader reads
constexpr int kCheckDataAfterEnd = 23; // a data record follows the end record: images joined
constexpr int kCheckCrLineEnds = 24;   // lines end in CR alone, so one line holds many records

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
    // For kCheckLineTooLong: the failing line's length, its line end included; lineUnended when
    // that line runs to the end of the text without a line end, and cut (set by the caller) when
    // the text is only the first part of the file, so that the line goes on beyond it.
    int lineLength = 0;
    bool lineUnended = false;
    bool cut = false;
    // The end record's line, once it has been read.
    int endLine = 0;
    // For kRecordCountWrong: the data records the count record counts, and those before it.
    uint32_t countGiven = 0;
    uint32_t countFound = 0;
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
    // The first and the last line that overlaps beyond the kept warnings.
    int moreOverlapsLine = 0;
    int moreOverlapsLastLine = 0;
};

constexpr size_t kKeptWarnings = 20;

// Called with each write block a run would send, in order (a dry run's listing).
using BlockListener = std::function<void(uint32_t address, int length)>;

// Checks text[0] to text[size - 1] line by line, reading every line exactly as ReadSRecord would
// read it from a stream holding the same bytes, up to the end record; counts the line ends of the
// whole text. Returns check->result. The check has no effect on the programming pass's block limit.
int CheckSRecordText(const char* text, size_t size, CFileCheck* check,
                     const BlockListener& onBlock = nullptr);

// Looks at an S-record text while it is being read, so that the read can stop at the first line
// the check is sure to refuse (a stream of zeros, a binary, a line of thousands of characters)
// instead of taking all of it into memory first. Each piece of a line is looked at as the check
// would read it; only a piece that does not start with 'S', or a further piece of a line that
// does not decode, stops the read, and only once its line has ended or is kScreenLineWait
// characters long: the check of the text read up to there then refuses it as it would refuse the
// whole text (a line too long gets cut, see CFileCheck). Lines after the end record are not
// looked at: they are read whole.
class CSRecordScreen {
public:
    // text[0] to text[size - 1]: all of the text read so far (the same text, grown, at each call).
    // False when the read can stop.
    bool MayPass(const char* text, size_t size);

    static constexpr size_t kScreenLineWait = 16 * 1024;

private:
    size_t m_next = 0;       // where the next piece starts
    size_t m_lineStart = 0;  // where its line starts
    bool m_skipping = false; // passing over the rest of a header's line, from m_next
    bool m_ended = false;
};

// The text a person is shown for a failed check, e.g.
// "Sorry, line 118 of the file has a wrong checksum !". Empty for a passed check.
std::string FileCheckMessage(const CFileCheck& check);

// One warning as a front end tells it: what it is about ("overlap", "after_end", or
// "more_overlaps" for the overlapping lines beyond the kept warnings), its lines and its text.
struct CToldWarning {
    const char* what;
    int line;
    int lastLine;
    std::string text;
};

// Every warning of a check, in the order of the kept warnings, the further overlaps last.
std::vector<CToldWarning> ToldWarnings(const CFileCheck& check);

// The text of one warning, e.g. "Warning: line 7 of the file gives data at 0x00010000 to
// 0x0001000F again; the device is written there twice".
std::string FileWarningText(const CFileWarning& warning);
