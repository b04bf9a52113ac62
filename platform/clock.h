#pragma once

#include <atomic>
// The millisecond clock and sleep that every wait in the system uses.
//
// NowMs() is real elapsed time since the process started, from a monotonic clock, as a signed
// 32-bit count that wraps; callers compare two readings by their signed difference only.
// Tests install a virtual clock so that 500 ms retransmissions and 30 s time-outs run at once.

class CClock {
public:
    virtual ~CClock() = default;
    virtual int NowMs() = 0;
    virtual void Sleep(int ms) = 0;
};

// Milliseconds since the process started (or the installed clock's reading).
int NowMs();
// Pauses the calling thread (or advances the installed virtual clock).
void Sleep(int ms);

// Installs a clock for the whole process; nullptr restores the real one. The caller keeps
// ownership and must uninstall it before destroying it.
void InstallClock(CClock* clock);

// A clock in which time passes only by sleeping: Sleep(ms) adds ms at once. It is shared by
// every thread, so a sleeping worker moves time forward for the test that drives it.
class CVirtualClock : public CClock {
public:
    explicit CVirtualClock(int startMs = 1000);
    int NowMs() override;
    void Sleep(int ms) override;
    void Advance(int ms) { Sleep(ms); }

private:
    // Unsigned so that wrapping is defined; read back as a signed 32-bit value.
    std::atomic<unsigned> m_now;
};
