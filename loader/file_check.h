#pragma once
// The check a front end runs on an S-record file before a run starts, so that a broken file is
// refused while the device is still untouched rather than after it has been erased.

#include <cstdint>
#include <cstdio>
#include <string>

struct CFileCheck {
    // 0 when the file reads cleanly up to an end record; else the failing record's result
    // (kRecordBadAddress ... kRecordBadData) or kRecordNoLine when no end record was found.
    int result = 0;
    // 1-based number of the failing line; for kRecordNoLine the number of lines read + 1.
    int line = 0;
    // Lines read: up to and including the end record, or the failing line.
    int lines = 0;
    // Data bytes in the data records read.
    uint64_t dataBytes = 0;
    // Data records read that carry at least one data byte. A data record without data reads the
    // same as a header (length 0, no type returned), so neither is counted.
    int dataRecords = 0;
    // The addresses of the lowest and the highest data byte; valid when dataBytes > 0.
    uint32_t lowestAddress = 0, highestAddress = 0;
};

// Rewinds the file, reads it record by record with ReadSRecord up to its end record, and rewinds
// it again. Lines are counted as ReadSRecord consumes them, one read each, so the numbers match an
// editor's for files whose lines are shorter than kRecordLineChars. Returns check->result.
int CheckSRecordFile(FILE* file, CFileCheck* check);

// The text a person is shown for a failed check, e.g.
// "Sorry, line 118 of the file has a wrong checksum !". Empty for a passed check.
std::string FileCheckMessage(const CFileCheck& check);
