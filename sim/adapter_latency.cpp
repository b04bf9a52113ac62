#include "sim/adapter_latency.h"

#include <algorithm>

namespace sim {

std::vector<AdapterRelease> AdapterReleases(std::size_t count,
                                            std::chrono::steady_clock::time_point firstArrival,
                                            std::chrono::nanoseconds byteTime,
                                            std::chrono::milliseconds latency) {
    std::vector<AdapterRelease> releases;
    const auto arrival = [&](std::size_t i) {
        return firstArrival + byteTime * static_cast<long long>(i);
    };
    for (std::size_t first = 0; first < count;) {
        const auto timer = arrival(first) + latency;
        const std::size_t full = first + kAdapterPacketBytes; // one past the byte that fills it
        if (full <= count && arrival(full - 1) <= timer) {
            releases.push_back({arrival(full - 1), kAdapterPacketBytes});
            first = full;
            continue;
        }
        // The timer runs out first: everything that has come by then goes, at most a packet less
        // one byte.
        std::size_t held = count - first;
        if (byteTime.count() > 0) {
            held = std::min<std::size_t>(held, static_cast<std::size_t>(latency / byteTime) + 1);
        }
        releases.push_back({timer, held});
        first += held;
    }
    return releases;
}

} // namespace sim
