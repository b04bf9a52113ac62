#pragma once
// What a shared, imperfect line carries besides the answer the host waits for: stray bytes and
// well-formed frames the host has to recognise as not meant for it.

#include "sim/frame_codec.h"

#include <cstdint>
#include <vector>

namespace sim {

// Appends, for the given reply: a few junk bytes, the same answer from another unit, the answer
// addressed to another station, and the answer under the previous sequence number. `state` drives
// the junk and changes with every call, so each reply gets different junk.
void AppendLineNoise(const Frame& reply, std::uint32_t& state, std::vector<std::uint8_t>& out);

} // namespace sim
