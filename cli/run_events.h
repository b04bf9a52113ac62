#pragma once
// What a load does, as one stream of events that every display of it subscribes to: the console
// line (CConsolePanel), the JSON lines (JsonEvents) and, in the parent of several loads, the board
// of ports (fed the children's JSON lines read back into these events). A new display, such as a
// station's log, is one more sink.
//
// The events: warning (the file loads, but most likely not as meant), begin (the file was
// checked), waiting (--wait-port: the port is not there yet), phase (searching, erasing,
// programming, starting), progress (erase clusters, programmed bytes), ended (the worker's run is
// over) and result (the load's end: its exit code and message); a station's slot also tells
// board_gone (its board was taken out).

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct RunEvent {
    enum class Kind {
        kUnknown,
        kWarning,
        kBegin,
        kWaiting,
        kPhase,
        kProgress,
        kEnded,
        kResult,
        kBoardGone
    };

    RunEvent() = default;
    explicit RunEvent(Kind k) : kind(k) {}

    Kind kind = Kind::kUnknown;
    std::string phase; // phase, progress: "searching", "erasing", "programming", "starting"
    // phase "searching": which search of the run begins (1; more after a failed erase pass).
    int search = 0;
    // phase: the rate probed first (searching), the rate that answered (erasing); result: the
    // rate that answered. 0: none.
    int baud = 0;
    int percent = -1;        // progress; -1: not told
    int cluster = 0;         // progress while erasing: the cluster erased, of `clusters`
    int clusters = 0;        //
    uint64_t bytes = 0;      // progress while programming, result: data bytes written
    uint64_t bytesTotal = 0; // begin, progress: the file's data bytes
    int blocks = 0;          // progress while programming, result: blocks written
    double rate = 0;         // progress while programming: bytes/s; 0 until known
    double secondsLeft = -1; // progress while programming: -1 until known
    bool last = false;       // progress: the figures the phase ends with
    std::string file;        // begin
    int lines = 0;           // begin: up to the end record
    std::string path;        // waiting
    double waitSeconds = 0;  // waiting
    std::string what;        // warning: "overlap", "after_end", "more_overlaps"
    int line = 0;            // warning: the lines it is about
    int lastLine = 0;        //
    std::string text;        // warning: as told on stderr
    int exitCode = -1;       // result
    std::string message;     // result: what a person is told, lines joined by '\n'
    // A station's slot: the board the event is about (from 1; while searching, the board it
    // searches for). 0: not a station's.
    int board = 0;
};

class RunEventSink {
public:
    virtual ~RunEventSink() = default;
    virtual void Take(const RunEvent& event) = 0;
    // Time passed without an event: a display that shows time (seconds searched) redraws.
    virtual void Follow() {}
    // Text is about to be printed on the console: a display that holds a line open ends it.
    virtual void BreakLine() {}
};

// Passes everything on to each sink, in the order they subscribed, one event at a time (the
// worker and the supervising thread both tell).
class RunEventStream : public RunEventSink {
public:
    // sink: kept by the caller while events may come.
    void Subscribe(RunEventSink* sink);
    void Take(const RunEvent& event) override;
    void Follow() override;
    void BreakLine() override;

private:
    template <typename Call> void Each(Call call) {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (RunEventSink* sink : m_sinks) {
            call(*sink);
        }
    }

    std::mutex m_mutex;
    std::vector<RunEventSink*> m_sinks;
};
