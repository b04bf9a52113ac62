#pragma once
// The record a single load leaves when a second interrupt ends it at once: a sink of the load's
// events that keeps the log's armed record (CLoadLog::ArmAbruptEnd) current, saying what the parent
// of several loads says of a child ended that way ("interrupted again during programming, after
// 7168 bytes in 28 blocks at 115200 baud; ..."), with exit code kExitInterrupted.

#include "cli/load_log.h"
#include "cli/port_board.h"
#include "cli/run_events.h"

#include <chrono>

class AbruptEndRecord : public RunEventSink {
public:
    // log: open, kept by the caller while events may come; record: the load's, figures to come.
    // Arms it at once. start: when the load began, for "seconds".
    AbruptEndRecord(CLoadLog* log, const LoadRecord& record,
                    std::chrono::steady_clock::time_point start);

    // The stream passes one call at a time, from the worker or the supervising thread.
    void Take(const RunEvent& event) override;
    // Time passed: the record's time and seconds are brought up to date now and then.
    void Follow() override;

private:
    void Arm();

    CLoadLog* const m_log;
    LoadRecord m_record;
    const std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_armed;
    PortState m_state;
};
