#include "sim/request_filter.h"

#include <utility>

namespace sim {

RequestKind RequestFilter::Classify(const Frame& request) {
    if (request.destination != (kDestinationBase | kDeviceAddress)) {
        return RequestKind::kNotForDevice;
    }
    const Key key{request.source, request.sequence};
    if (lastHandled_ == key) {
        return RequestKind::kRepeat;
    }
    // The host never repeats a probe (it gives up on one before it would retransmit), so a
    // device that let every first probe fall could never be found; probes always get through.
    const bool probe =
        request.payload.size() >= 2 && request.payload[0] == '!' && request.payload[1] == 'D';
    if (dropFirstCopy_ && !probe && !(lastDropped_ == key)) {
        lastDropped_ = key;
        return RequestKind::kDropped;
    }
    return RequestKind::kNew;
}

void RequestFilter::Remember(const Frame& request, const std::optional<Frame>& reply) {
    lastHandled_ = Key{request.source, request.sequence};
    lastReply_ = reply;
}

void RequestFilter::Forget() {
    lastHandled_.reset();
    lastDropped_.reset();
    lastReply_.reset();
}

Frame MakeReply(const Frame& request, std::vector<std::uint8_t> payload) {
    Frame reply;
    reply.source = kSourceBase | kDeviceAddress;
    reply.destination =
        static_cast<std::uint8_t>(kDestinationBase | (request.source & kAddressMask));
    reply.sequence = request.sequence;
    reply.payload = std::move(payload);
    return reply;
}

} // namespace sim
