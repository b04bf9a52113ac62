#include "cli/abrupt_end_record.h"

#include "cli/exit_codes.h"
#include "cli/missing_result.h"

namespace {

// Often enough that the record's time is the time the load ended, to a person reading the log.
constexpr auto kRearmInterval = std::chrono::milliseconds(250);

} // namespace

AbruptEndRecord::AbruptEndRecord(CLoadLog* log, const LoadRecord& record,
                                 std::chrono::steady_clock::time_point start)
    : m_log(log), m_record(record), m_start(start) {
    m_record.exitCode = kExitInterrupted;
    Arm();
}

void AbruptEndRecord::Take(const RunEvent& event) {
    ApplyEvent(event, &m_state);
    Arm();
}

void AbruptEndRecord::Follow() {
    if (std::chrono::steady_clock::now() - m_armed >= kRearmInterval) {
        Arm();
    }
}

void AbruptEndRecord::Arm() {
    m_armed = std::chrono::steady_clock::now();
    m_record.time = std::chrono::system_clock::now();
    m_record.seconds = std::chrono::duration<double>(m_armed - m_start).count();
    m_record.bytes = m_state.bytes;
    m_record.blocks = m_state.blocks;
    m_record.baud = m_state.baud;
    m_record.message = MissingResultMessage(m_state, kExitInterrupted, true);
    m_log->ArmAbruptEnd(m_record);
}
