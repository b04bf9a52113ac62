#pragma once
// tovik-cli --log FILE: every load appends its one record (cli/load_record.h) to FILE, whole and
// durable before the next board is loaded, and a load cut short at once still leaves one. Several
// processes (the children of a load into several ports, several stations) append to one log; their
// records never interleave.
//
// The order of a load: Open before anything is sent (a log that cannot be written ends the run
// then, with kExitLogFailed, and no board is loaded without its record); ArmAbruptEnd while the
// load goes on, kept current; Append once it ended, before its result is told, since the result
// must say when the record could not be written.

#include "cli/load_record.h"
#include "platform/durable_log.h"

#include <string>

struct CliOptions;

class CLoadLog {
public:
    // Opens options.logPath; nothing is opened when it is empty (and the calls below do nothing).
    // False, with "cannot write the log FILE: REASON" in *error, when it cannot be opened.
    bool Open(const CliOptions& options, std::string* error);
    bool IsOpen() const { return m_log.IsOpen(); }

    // A record of this run's station and file for port, the rest left to fill in.
    LoadRecord NewRecord(const std::string& port) const;

    // Appends the record, and disarms the abrupt end. True when it is in the log (or there is no
    // log); false, with "the record of this load could not be written to FILE: REASON" in *error,
    // when not.
    bool Append(const LoadRecord& record, std::string* error);

    // From now on a second interrupt, which ends the process at once, appends this record; call
    // again as the figures change. Only one load per process can be armed.
    void ArmAbruptEnd(const LoadRecord& record);
    void Disarm();

private:
    CDurableLog m_log;
    std::string m_path;
    std::string m_station;
    std::string m_file;
};
