#pragma once
// tovik-cli --json: the run's events as JSON lines on stdout, for the programs that drive many
// stations, and those lines read back into events (the parent of several loads reads its
// children's). Every line is one object with "event", "port" (as given on the command line) and
// "seconds" (since tovik-cli began); the last line of a load is its "result". The events:
//
//   begin     the file was checked: "file", "bytes_total" (data bytes), "lines" (up to the end
//             record)
//   waiting   --wait-port: the port is not there yet; "path", "wait_seconds"
//   phase     "phase": "searching" (with "baud", the rate probed first; again after a failed
//             erase), "erasing" (with "baud", the rate that answered), "programming", "starting"
//             (all data written, the start command waits for its confirmation)
//   progress  "phase", "percent"; erasing: "cluster", "clusters"; programming: "bytes",
//             "bytes_total", "blocks", "rate" (bytes/s) and "seconds_left" (null until known).
//             At most a few a second, and one at the end of the programming pass.
//   warning   the file loads, but most likely not as meant: "what" ("overlap", "after_end",
//             "more_overlaps"), "line" and "last_line" (the lines it is about), "text" (as told
//             on stderr)
//   result    "exit_code", "message" (what a person is told, lines joined by "\n"), "bytes" and
//             "blocks" written, "baud" (the rate that answered, null when none did), "warnings"
//             (the warning events before it)
//
// A station's slot adds "board" (the board's number on its slot, from 1) after "port" to every
// line, and tells
//   board_gone  the slot's board was taken out (or went silent): the slot searches again
//
// Objects may gain members; a reader should pass over those it does not know.

#include "cli/run_events.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

class CRunResult;

class JsonEvents : public RunEventSink {
public:
    // out: where the lines go; nullptr when --json was not given, and every event is passed over.
    // start: when tovik-cli began, for "seconds".
    JsonEvents(FILE* out, std::string port,
               std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now());

    // Programming progress comes at most a few times a second (its last figures always).
    void Take(const RunEvent& event) override;
    // Warnings told by another process's events (a child of several loads), counted in the result
    // as if told here.
    void CountWarningsTold(int count);
    // result: the run's figures; nullptr when the load ended before it had a run.
    void Result(int exitCode, const std::string& message, const CRunResult* result);
    // A station's slot: the board every line from now on is about (0: none).
    void SetBoard(int board) { m_board = board; }

private:
    using Clock = std::chrono::steady_clock;
    nlohmann::ordered_json Event(const char* name) const;
    void Write(const nlohmann::ordered_json& object);

    FILE* const m_out;
    const std::string m_port;
    const Clock::time_point m_start;
    // The worker and the supervising thread both report.
    std::mutex m_mutex;
    Clock::time_point m_lastProgress{};
    int m_warnings = 0;
    std::atomic<int> m_board{0};
};

// The object and a newline, on one line: strings escaped as JSON requires and made valid UTF-8 (a
// port or file name on POSIX may hold any bytes; each that is not UTF-8 becomes U+FFFD).
std::string JsonLine(const nlohmann::ordered_json& object);

// A number with `decimals` digits after the point (an integer when 0); NaN and infinities, which
// JSON lacks, as null.
nlohmann::ordered_json JsonNumber(double value, int decimals);

// The event on a line a child wrote. False when the line is not one JSON object; members missing
// or of another type than an event has are left as RunEvent has them by default.
bool ReadRunEvent(const std::string& line, RunEvent* event);
