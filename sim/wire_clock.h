#pragma once
// Time on a real 8N1 line: ten bit times per byte. Kept as an absolute schedule, so sleeping a
// little late on one byte does not push every later byte back too.

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace sim {

class WireClock {
public:
    using Clock = std::chrono::steady_clock;

    // A rate of 0 means no pacing at all.
    explicit WireClock(int baud)
        : byteTime_(baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / baud)
                             : std::chrono::nanoseconds(0)) {}

    bool Paced() const { return byteTime_.count() > 0; }
    // How long one byte takes on the line; 0 when it is not paced.
    std::chrono::nanoseconds ByteTime() const { return byteTime_; }

    // Schedules `count` bytes that cannot start before `now` nor before the previous ones are
    // through; returns the moment the last of them is through.
    Clock::time_point Advance(Clock::time_point now, std::size_t count) {
        next_ = std::max(next_, now) + byteTime_ * static_cast<long long>(count);
        return next_;
    }

    // Bytes to hand over at once: about two milliseconds of line time, at least one byte.
    std::size_t BurstBytes() const {
        if (!Paced()) {
            return 4096;
        }
        return std::max<std::size_t>(1, std::chrono::milliseconds(2) / byteTime_);
    }

private:
    std::chrono::nanoseconds byteTime_;
    Clock::time_point next_{};
};

} // namespace sim
