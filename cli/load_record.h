#pragma once
// The record of one load, as tovik-cli --log appends it: which image went into which board, where
// and how it ended. One JSON line, members always in this order:
//
//   time       when the load ended, ISO 8601 UTC with milliseconds ("2026-12-07T10:15:03.120Z")
//   station    --station-name, else the short host name
//   port       as given
//   device     the device path opened, links resolved
//   adapter    the /dev/serial/by-id link that leads to the device; null when there is none
//   file       as given
//   sha256     of the file's bytes as read and checked: the exact image loaded
//   bytes, blocks   what the device acknowledged
//   baud       the rate that answered; null when none did
//   seconds    how long the load took
//   exit_code, message   as the load's result says them
//   board      a station's board number on its slot (from 1); left out when not a station's
//   tool       "tovik-cli <version>"

#include <chrono>
#include <cstdint>
#include <string>

class CRunResult;

struct LoadRecord {
    std::chrono::system_clock::time_point time;
    std::string station;
    std::string port;
    std::string device;
    std::string adapter; // empty: null
    std::string file;
    std::string sha256;
    uint64_t bytes = 0;
    int blocks = 0;
    int baud = 0; // 0: null
    double seconds = 0;
    int exitCode = 0;
    std::string message;
    int board = 0; // 0: not a station's record
};

// The record's line, with its newline.
std::string LoadRecordLine(const LoadRecord& record);

// "2026-12-07T10:15:03.120Z": the time in UTC to the millisecond.
std::string IsoTimeUtc(std::chrono::system_clock::time_point time);

// The device and adapter of a record for the device path a load opens; a path that no longer
// leads anywhere is the device as it stands.
void SetRecordDevice(const std::string& devicePath, LoadRecord* record);

// How the load ended, into the record: the exit code and message its result tells, and the
// figures of result (nullptr: the load ended before it had a run).
void SetRecordResult(int exitCode, const std::string& message, const CRunResult* result,
                     LoadRecord* record);
