// The sparse memory image and its S-record dump.

#include "sim/memory_image.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using simtest::Bytes;

void Write(sim::MemoryImage& image, std::uint32_t address, const Bytes& data) {
    ASSERT_TRUE(image.Write(address, data.data(), data.size()));
}

TEST(MemoryImage, OverlappingAndTouchingWritesFoldIntoOneRunNewestWinning) {
    sim::MemoryImage image;
    Write(image, 0x10, Bytes(4, 0xAA));  // 10..13
    Write(image, 0x16, Bytes(2, 0xBB));  // a gap of two
    Write(image, 0x0E, Bytes(3, 0xCC));  // overlaps the start of the first
    Write(image, 0x100, Bytes(1, 0xDD)); // far away: a run of its own
    Write(image, 0x12, Bytes(4, 0x01));  // bridges the gap
    ASSERT_EQ(image.Runs().size(), 2u);
    EXPECT_EQ(image.Runs().begin()->first, 0x0Eu);
    EXPECT_EQ(image.Runs().begin()->second,
              (Bytes{0xCC, 0xCC, 0xCC, 0xAA, 0x01, 0x01, 0x01, 0x01, 0xBB, 0xBB}));
    EXPECT_EQ(image.ByteCount(), 11u);
}

TEST(MemoryImage, RangePastTheAddressSpaceIsRefused) {
    sim::MemoryImage image;
    const Bytes two = {1, 2};
    EXPECT_FALSE(image.Write(0xFFFFFFFF, two.data(), two.size()));
    EXPECT_TRUE(image.Empty());
    EXPECT_TRUE(image.Write(0xFFFFFFFE, two.data(), two.size()));
}

TEST(MemoryImageDump, RecordsHoldAtMost32BytesAndNeverSpanAGap) {
    sim::MemoryImage image;
    Write(image, 0x20, Bytes(70, 0x11));
    Write(image, 0x80, Bytes(3, 0x22));
    std::istringstream text(sim::FormatS3Records(image));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line.substr(0, 12));
    }
    // Header, 32 + 32 + 6 bytes at 0x20, 3 at 0x80, end.
    EXPECT_EQ(lines, (std::vector<std::string>{"S00C0000746F", "S32500000020", "S32500000040",
                                               "S30B00000060", "S30800000080", "S70500000000"}));
}

TEST(MemoryImageDump, SrecCatReadsBackTheWrittenBytes) {
    sim::MemoryImage image;
    Bytes data;
    for (int i = 0; i < 100; ++i) {
        data.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    }
    Write(image, 0x40, data);
    const std::string path = simtest::TempPath(".s3");
    std::string error;
    ASSERT_TRUE(sim::WriteS3File(image, path, &error)) << error;
    const auto binary = simtest::SrecToBinary(path); // also checks every record's checksum
    std::remove(path.c_str());
    if (!binary) {
        GTEST_SKIP() << "srec_cat is not available";
    }
    Bytes expected(0x40, 0x00);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(*binary, expected);
}

} // namespace
