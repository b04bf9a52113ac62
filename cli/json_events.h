#pragma once
// tovik-cli --json: what a load does, as JSON lines on stdout for the programs that drive many
// stations. Every line is one object with "event", "port" (as given on the command line) and
// "seconds" (since tovik-cli began); the last line of a load is its "result". The events:
//
//   begin     the file was checked: "file", "bytes_total" (data bytes), "lines" (up to the end
//   record) waiting   --wait-port: the port is not there yet; "path", "wait_seconds" phase "phase":
//   "searching" (with "baud", the rate probed first), "erasing" (with "baud",
//             the rate that answered), "programming", "starting" (all data written, the start
//             command waits for its confirmation)
//   progress  "phase", "percent"; erasing: "cluster", "clusters"; programming: "bytes",
//             "bytes_total", "blocks", "rate" (bytes/s) and "seconds_left" (null until known).
//             At most a few a second, and one at the end of the programming pass.
//   warning   the file loads, but most likely not as meant: "what" ("overlap", "after_end",
//             "more_overlaps"), "line" and "last_line" (the lines it is about), "text" (as told
//             on stderr)
//   result    "exit_code", "message" (what a person is told, lines joined by "\n"), "bytes" and
//             "blocks" written, "baud" (the rate that answered, null when none did), "warnings"
//             (the warning events before it), "seconds"
//
// Objects may gain members; a reader should pass over those it does not know.

#include "cli/json_writer.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

class CRunResult;

class JsonEvents {
public:
    // out: where the lines go; nullptr when --json was not given, and every call does nothing.
    // start: when tovik-cli began, for "seconds".
    JsonEvents(FILE* out, std::string port,
               std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now());

    bool On() const { return m_out != nullptr; }
    void Begin(const std::string& file, uint64_t totalBytes, int lines);
    void Warning(const char* what, int line, int lastLine, const std::string& text);
    // Warnings told by another process's events (a child of several loads), counted in the result
    // as if told here.
    void CountWarningsTold(int count);
    void Waiting(const std::string& path, double waitSeconds);
    // baud: 0 to leave it out.
    void Phase(const char* phase, int baud);
    // Ask for lines in a phase: false while the last one is recent (always true with force).
    bool ProgressDue(bool force);
    void ErasingProgress(int cluster, int clusters);
    void ProgrammingProgress(uint64_t bytes, uint64_t totalBytes, int blocks, double rate);
    // result: the run's figures; nullptr when the load ended before it had a run.
    void Result(int exitCode, const std::string& message, const CRunResult* result);

private:
    using Clock = std::chrono::steady_clock;
    JsonObject Event(const char* name) const;
    void Write(const JsonObject& object);

    FILE* const m_out;
    const std::string m_port;
    const Clock::time_point m_start;
    // The worker and the supervising thread both report.
    std::mutex m_mutex;
    Clock::time_point m_lastProgress{};
    int m_warnings = 0;
};
