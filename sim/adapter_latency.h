#pragma once
// The latency timer of a USB-serial adapter between the device and the host. The adapter does not
// pass each byte on as it comes off the line: it holds what it has received until its timer runs
// out, a fixed time after the first byte it holds, or until a USB packet's worth is waiting, and
// then hands the bytes to the host together. A protocol of one request and one short reply pays
// the timer on every reply.

#include <chrono>
#include <cstddef>
#include <vector>

namespace sim {

// Data bytes in one packet towards the host: 64 less the two status bytes that lead each one.
constexpr std::size_t kAdapterPacketBytes = 62;

struct AdapterRelease {
    std::chrono::steady_clock::time_point when;
    std::size_t count;
    bool operator==(const AdapterRelease& other) const {
        return when == other.when && count == other.count;
    }
};

// When the adapter hands over `count` bytes whose byte i has come off the line at
// firstArrival + i * byteTime (byteTime 0: all at once), and how many each time, in order. Every
// release is due at the earlier of: the arrival of the byte that fills a packet; `latency` after
// the first byte still held. A latency of 0 passes each byte on as it comes.
std::vector<AdapterRelease> AdapterReleases(std::size_t count,
                                            std::chrono::steady_clock::time_point firstArrival,
                                            std::chrono::nanoseconds byteTime,
                                            std::chrono::milliseconds latency);

} // namespace sim
