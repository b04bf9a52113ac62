// The record armed for an abrupt end, and the appends that must not cross it.
//
// The state says who may touch what. The interrupt handler reads only the buffer it took; the
// arming thread writes only the other one and publishes it with a compare-and-swap, which fails
// once the handler has taken the record, so neither ever sees a buffer half written. An Append in
// flight is waited for by the handler (which runs on another thread: Append holds the interrupts
// off its own), so the process never ends between an append's write and its cut-back, and the
// load's record and its armed stand-in are never both written.

#include "platform/durable_log.h"

#include "platform/console.h"
#include "platform/durable_log_os.h"

#include <atomic>

namespace {

constexpr int kIdle = -1;      // nothing armed
constexpr int kAppending = -2; // an Append is writing; the handler waits for it
constexpr int kTaken = -3;     // the handler took the armed record: the process is ending
// 0 or 1: armed, the record in g_lines[state].
std::atomic<int> g_state{kIdle};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free state");
std::string g_lines[2];
std::atomic<long long> g_armedHandle{-1};
std::mutex g_armMutex; // one arming thread at a time

void WriteArmedRecord() {
    for (;;) {
        int state = g_state.load();
        if (state == kAppending) {
            durable_log_os::Nap();
            continue;
        }
        if (state == kTaken) {
            return;
        }
        if (g_state.compare_exchange_weak(state, kTaken)) {
            if (state >= 0) {
                const std::string& line = g_lines[state];
                durable_log_os::AppendWhole(g_armedHandle.load(), line.data(), line.size(),
                                            nullptr);
            }
            return;
        }
    }
}

// Once the handler has taken the record it is writing it with the armed handle and then ends the
// process: nothing may close or write past it.
[[noreturn]] void WaitForTheEnd() {
    for (;;) {
        durable_log_os::Nap();
    }
}

} // namespace

CDurableLog::~CDurableLog() {
    DisarmAbruptEnd();
    if (m_handle != -1) {
        if (g_state.load() == kTaken && g_armedHandle.load() == m_handle) {
            WaitForTheEnd();
        }
        durable_log_os::Close(m_handle);
    }
}

bool CDurableLog::Open(const std::string& path, std::string* error) {
    const long long handle = durable_log_os::OpenForAppend(path, error);
    if (handle == -1) {
        return false;
    }
    if (m_handle != -1) {
        DisarmAbruptEnd();
        durable_log_os::Close(m_handle);
    }
    m_handle = handle;
    return true;
}

bool CDurableLog::Append(const std::string& line, std::string* error) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_handle == -1) {
        *error = "the log is not open";
        return false;
    }
    const CInterruptsHeld held;
    int before = g_state.load();
    for (;;) {
        if (before == kTaken) {
            WaitForTheEnd();
        }
        if (before == kAppending) {
            durable_log_os::Nap();
            before = g_state.load();
        } else if (g_state.compare_exchange_weak(before, kAppending)) {
            break;
        }
    }
    const bool written = durable_log_os::AppendWhole(m_handle, line.data(), line.size(), error);
    const bool mine = before >= 0 && g_armedHandle.load() == m_handle;
    g_state.store(mine ? kIdle : before);
    return written;
}

void CDurableLog::ArmAbruptEnd(const std::string& line) {
    std::lock_guard<std::mutex> guard(g_armMutex);
    if (m_handle == -1) {
        return;
    }
    SetInterruptedAgainAction(WriteArmedRecord);
    int state = g_state.load();
    for (;;) {
        if (state == kTaken) {
            return;
        }
        if (state == kAppending) {
            durable_log_os::Nap();
            state = g_state.load();
            continue;
        }
        const int next = state == 0 ? 1 : 0;
        g_lines[next] = line;
        g_armedHandle.store(m_handle);
        if (g_state.compare_exchange_strong(state, next)) {
            return;
        }
    }
}

void CDurableLog::DisarmAbruptEnd() {
    std::lock_guard<std::mutex> guard(g_armMutex);
    int state = g_state.load();
    while (state >= 0 && g_armedHandle.load() == m_handle &&
           !g_state.compare_exchange_weak(state, kIdle)) {
    }
}
