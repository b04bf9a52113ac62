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
    if (dropFirstCopy_ && !(lastDropped_ == key)) {
        lastDropped_ = key;
        return RequestKind::kDropped;
    }
    return RequestKind::kNew;
}

void RequestFilter::Remember(const Frame& request, const std::optional<Frame>& reply) {
    lastHandled_ = Key{request.source, request.sequence};
    lastReply_ = reply;
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
