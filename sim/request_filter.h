#pragma once
// Decides what a received frame means to unit 0 before any command runs: not addressed to it, a
// first copy to let fall (when told to), a repeat of the request it answered last, or a new
// request.

#include "sim/frame_codec.h"

#include <cstdint>
#include <optional>

namespace sim {

constexpr std::uint8_t kDeviceAddress = 0;

enum class RequestKind { kNotForDevice, kDropped, kRepeat, kNew };

class RequestFilter {
public:
    explicit RequestFilter(bool dropFirstCopy) : dropFirstCopy_(dropFirstCopy) {}

    RequestKind Classify(const Frame& request);

    // Records the request just carried out and its reply, or no reply when the device stayed
    // silent; a repeat of the request gets the same treatment without running it again.
    void Remember(const Frame& request, const std::optional<Frame>& reply);
    const std::optional<Frame>& LastReply() const { return lastReply_; }
    // A new board knows nothing of the requests its predecessor answered.
    void Forget();

private:
    // A request is known by who sent it and its sequence byte; the host reuses both only when it
    // retransmits.
    struct Key {
        std::uint8_t source;
        std::uint8_t sequence;
        bool operator==(const Key& other) const {
            return source == other.source && sequence == other.sequence;
        }
    };

    const bool dropFirstCopy_;
    std::optional<Key> lastHandled_;
    std::optional<Key> lastDropped_;
    std::optional<Frame> lastReply_;
};

// The reply frame to `request` carrying `payload`: from unit 0, to the sender, same sequence byte.
Frame MakeReply(const Frame& request, std::vector<std::uint8_t> payload);

} // namespace sim
