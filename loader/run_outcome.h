#pragma once
// How a run ended: one verdict, set by the worker when the run ends, for the front end to turn
// into its texts and exit codes. The figures of the run (bytes, blocks, rates) stay in
// CRunResult; this says what ended it, with the data that belongs to that end.

#include "loader/run_result.h"
#include "platform/serial_device.h"

#include <cstdint>
#include <string>

// What ended the run.
enum class RunEnd {
    kNone,            // no run has ended yet
    kStarted,         // all data written and the device confirmed the start
    kNotStarted,      // all data written, the start not confirmed (startAbandoned)
    kWriteRefused,    // the device refused the write at address (code: its error)
    kWriteUnanswered, // no reply to the write at address (length: its data bytes)
    kWriteNotSent,    // the write at address could not be handed to the line in time
    kNoDevice,        // no device answered within the search time (see CRunController::Stop)
    kPortNotOpened,   // the port could not be opened (openFailure)
    kPortLost,        // the port went away (phase, lostReason)
    kFileUnreadable,  // the programming pass could not read the file (code: its result)
    kStopped,         // stopped (phase, deviceFound)
};

// How far the run had come.
enum class RunPhase { kSearching, kErasing, kProgramming, kStarting };

struct CRunOutcome {
    RunEnd kind = RunEnd::kNone;
    RunPhase phase = RunPhase::kSearching;
    bool deviceFound = false;
    // kNotStarted: the wait for the start's reply was given up because the run was stopped.
    bool startAbandoned = false;
    // The write kinds: the block's address and data bytes.
    uint32_t address = 0;
    int length = 0;
    // kWriteRefused: the device's error code; kFileUnreadable: the programming pass's result.
    int code = 0;
    // kNoDevice: searches begun (more than one: the device was found, an erase pass failed and
    // it was searched for again), and replies that came after their time-out.
    int searches = 0;
    int lateReplies = 0;
    CPortOpenFailure openFailure; // kPortNotOpened
    std::string lostReason;       // kPortLost: the system's account, may be empty
};

// How far the run with this result had come.
RunPhase PhaseOf(const CRunResult& result);
// A run ended by a stop (kind: what the stop stood for, kStopped or kNoDevice).
CRunOutcome StopOutcome(RunEnd kind, const CRunResult& result);
// A run ended by its programming pass with code (what ProgramFile returned); stopKind is what a
// stop that ended the pass stood for.
CRunOutcome PassOutcome(int code, RunEnd stopKind, const CRunResult& result);
// A run whose port was given up: lost, or not opened, as the port records of portIndex say.
CRunOutcome PortOutcome(int portIndex, bool lost, const CRunResult& result);
