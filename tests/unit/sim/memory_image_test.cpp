// The sparse memory image. Its S-record dump is compared byte for byte by the end-to-end tests.

#include "sim/memory_image.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MemoryImage, WritesFoldIntoRunsNewestWinning) {
    const std::pair<std::uint32_t, Bytes> writes[] = {
        {0x10, Bytes(4, 0xAA)},  // 10..13
        {0x16, Bytes(2, 0xBB)},  // a gap of two
        {0x0E, Bytes(3, 0xCC)},  // overlaps the start of the first
        {0x100, Bytes(1, 0xDD)}, // far away: a run of its own
        {0x12, Bytes(4, 0x01)},  // bridges the gap, touching the second
        {0x18, Bytes(1, 0xEE)},  // touches the end of the merged run
    };
    sim::MemoryImage image;
    for (const auto& [address, data] : writes) {
        ASSERT_TRUE(image.Write(address, data.data(), data.size()));
    }
    const std::map<std::uint32_t, Bytes> runs = {
        {0x0E, {0xCC, 0xCC, 0xCC, 0xAA, 0x01, 0x01, 0x01, 0x01, 0xBB, 0xBB, 0xEE}},
        {0x100, {0xDD}}};
    EXPECT_EQ(image.Runs(), runs);
    EXPECT_EQ(image.ByteCount(), 12u);

    // Up to the end of the address space is fine; past it nothing at all is stored.
    const Bytes two = {1, 2};
    EXPECT_FALSE(image.Write(0xFFFFFFFF, two.data(), two.size()));
    EXPECT_EQ(image.Runs(), runs);
    EXPECT_TRUE(image.Write(0xFFFFFFFE, two.data(), two.size()));
}

} // namespace
