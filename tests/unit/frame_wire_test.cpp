// Frames on the wire, byte for byte, as the link writes them and finds them.

#include "fake_serial_device.h"
#include "protocol/frame_codec.h"
#include "protocol/unit_link.h"

#include <gtest/gtest.h>

namespace {

using Wire = std::vector<uint8_t>;

struct LinkOnFakeLine : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    CUnitLink link{0, 38400, 60, 0};

    // Sends one frame with this payload and returns its wire bytes.
    Wire Send(const Wire& payload) {
        fake.line->written.clear();
        link.AppendPayload(payload.data(), static_cast<int>(payload.size()));
        link.SendFrame();
        return fake.line->written;
    }
};

TEST_F(LinkOnFakeLine, SequenceRunsThroughSixtyFourValues) {
    std::vector<uint8_t> sequences;
    for (int i = 1; i <= 65; ++i) {
        sequences.push_back(Send(Bytes("!D"))[2]);
    }
    EXPECT_EQ(sequences[0], 0xC1);
    EXPECT_EQ(sequences[62], 0xFF);
    EXPECT_EQ(sequences[63], 0xC0);
    EXPECT_EQ(sequences[64], 0xC1);
}

TEST_F(LinkOnFakeLine, EscapedBytesCountOnceInTheChecksum) {
    // Payload 1B 0D 41: sum 0x69, checksum 0x96. Header and digits are never escaped.
    EXPECT_EQ(Send(Wire{0x1B, 0x0D, 0x41}),
              (Wire{0x7C, 0x80, 0xC1, 0x1B, 0x1B, 0x1B, 0x0D, 0x41, '9', '6', 0x0D, 0x0A, 0xFF}));
    // A sum of 0xFF gives the digits 00; of 0x00 (empty after wrap) gives FF.
    Wire w = Send(Wire{0xFF});
    EXPECT_EQ(Wire(w.end() - 5, w.end()), (Wire{'0', '0', 0x0D, 0x0A, 0xFF}));
}

TEST_F(LinkOnFakeLine, AcceptsTheDeviceReplyAndKeepsOnlyThePayload) {
    fake.line->Deliver({0x40, 0xBC, 0xC1, 0x3A, 0x44, 0x4F, 0x4B, 0x45, 0x37, 0x0D, 0x0A, 0xFF});
    ASSERT_EQ(link.ReceiveFrame(), 0);
    EXPECT_EQ(Wire(link.m_rx, link.m_rx + link.m_rxLength), Bytes(":DOK"));
    // The 0A FF behind the CR stay with the port for the next call.
    EXPECT_EQ(fake.line->input.size(), 2u);
}

TEST_F(LinkOnFakeLine, SkipsNoiseAndTheTailOfTheLastFrame) {
    Wire noise = {0x0A, 0xFF, 0x13, 0x0D, 0x55, 0xC3, 0x80};
    fake.line->Deliver(noise);
    fake.line->Deliver(DeviceReply(0xC7, ":EOK"));
    ASSERT_EQ(link.ReceiveFrame(), 0);
    EXPECT_EQ(Wire(link.m_rx, link.m_rx + link.m_rxLength), Bytes(":EOK"));
}

TEST_F(LinkOnFakeLine, ChecksumDigitsOfEitherCaseButNothingElse) {
    fake.line->Deliver(WireFrame(0x40, 0xBC, 0xC5, Bytes("x\x5a"), true)); // checksum 0x2d
    EXPECT_EQ(link.ReceiveFrame(), 0);

    // Payload summing to 0xF0 has checksum 0x0F; a 'G' in place of the 0 digit must not pass
    // for the value 0 that an invalid digit converts to.
    Wire bad = WireFrame(0x40, 0xBC, 0xC6, Wire{0xF0});
    ASSERT_EQ(bad[bad.size() - 5], '0');
    bad[bad.size() - 5] = 'G';
    link.m_rxLength = 0;
    fake.line->Deliver(bad);
    EXPECT_EQ(link.ReceiveFrame(), -1);
}

TEST_F(LinkOnFakeLine, EscapedCrBelongsToThePayloadAndEscCarriesOver) {
    Wire frame = WireFrame(0x40, 0xBC, 0xC2, Wire{':', 0x0D, 'K'});
    // Split after the ESC that precedes the payload's CR.
    size_t esc = 4;
    ASSERT_EQ(frame[esc], 0x1B);
    fake.line->Deliver(Wire(frame.begin(), frame.begin() + esc + 1));
    EXPECT_EQ(link.ReceiveFrame(), -1);
    EXPECT_EQ(link.m_escapePending, 1);
    fake.line->Deliver(Wire(frame.begin() + esc + 1, frame.end()));
    ASSERT_EQ(link.ReceiveFrame(), 0);
    EXPECT_EQ(Wire(link.m_rx, link.m_rx + link.m_rxLength), (Wire{':', 0x0D, 'K'}));
}

TEST_F(LinkOnFakeLine, ShortBufferAtACrIsKeptForLater) {
    fake.line->Deliver({0x40, 0xBC, 0xC1, 'A', 0x0D});
    EXPECT_EQ(link.ReceiveFrame(), -1);
    EXPECT_EQ(link.m_rxLength, 4);
}

TEST_F(LinkOnFakeLine, DuringATransactionOnlyTheAddressedUnitsCurrentReplyIsTaken) {
    Send(Bytes("!D")); // sequence C1 to unit 0
    link.m_transactionActive = 1;
    fake.line->Deliver(WireFrame(0x45, 0xBC, 0xC1, Bytes(":DOK"))); // another unit
    fake.line->Deliver(WireFrame(0x40, 0xBD, 0xC1, Bytes(":DOK"))); // another station
    fake.line->Deliver(WireFrame(0x40, 0xBC, 0xFF, Bytes(":DOK"))); // an older request
    EXPECT_EQ(link.ReceiveFrame(), -1);
    EXPECT_EQ(link.m_tx[1], 0x80);
    fake.line->Deliver(DeviceReply(0xC1, ":DOK"));
    EXPECT_EQ(link.ReceiveFrame(), 0);
}

TEST_F(LinkOnFakeLine, OutsideATransactionTheSenderBecomesTheDestination) {
    // A frame from unit 5 makes unit 5 the destination; the answer carries its sequence byte.
    fake.line->Deliver(WireFrame(0x45, 0xBC, 0xD0, Bytes("?X")));
    ASSERT_EQ(link.ReceiveFrame(), 0);
    EXPECT_EQ(link.m_tx[1], 0x85);
    EXPECT_EQ(Send(Bytes("!A"))[2], 0xD0);

    // The same frame again is a repeat: skipped, but its sender is still made the destination.
    link.CLinkBase::SelectUnit(0);
    link.m_rxLength = 0;
    fake.line->Deliver(WireFrame(0x45, 0xBC, 0xD0, Bytes("?X")));
    EXPECT_EQ(link.ReceiveFrame(), -1);
    EXPECT_EQ(link.m_tx[1], 0x85);
}

} // namespace
