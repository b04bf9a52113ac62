#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<CClock*> g_installedClock{nullptr};

const std::chrono::steady_clock::time_point g_processStart = std::chrono::steady_clock::now();

} // namespace

int NowMs() {
    if (CClock* clock = g_installedClock.load()) {
        return clock->NowMs();
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - g_processStart);
    // Wraps after about 24.8 days; deadlines compare by signed difference, so that is harmless.
    return static_cast<int>(static_cast<unsigned>(elapsed.count()));
}

void Sleep(int ms) {
    if (CClock* clock = g_installedClock.load()) {
        clock->Sleep(ms);
        return;
    }
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void InstallClock(CClock* clock) {
    g_installedClock.store(clock);
}

CVirtualClock::CVirtualClock(int startMs) : m_now(static_cast<unsigned>(startMs)) {}

int CVirtualClock::NowMs() {
    return static_cast<int>(m_now.load());
}

void CVirtualClock::Sleep(int ms) {
    if (ms > 0) {
        m_now.fetch_add(static_cast<unsigned>(ms));
    }
    // Let other threads run, as a real sleep would, without letting real time matter.
    std::this_thread::yield();
}
