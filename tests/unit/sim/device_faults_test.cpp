// Each fault the device can play, seen from the host's side of the pseudo-terminal. To show that
// something went unanswered, a test sends a later request and checks that its reply is the first
// thing back: the device answers in order.

#include "sim_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace simtest;

TEST(DeviceFaults, DropFirstAnswersOnlyTheRetransmission) {
    SimOptions options = QuickOptions();
    options.dropFirst = true;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    for (const Bytes& request : {Request(1, "!E", {4}), Request(2, "!D")}) {
        ASSERT_TRUE(rig.host->Write(request));
        ASSERT_TRUE(rig.host->Write(request));
    }
    std::vector<sim::Frame> before;
    ASSERT_TRUE(rig.host->ReadReply(2, &before));
    // A device that answered first copies would have answered request 1 twice.
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(PayloadText(before[0]), ":EOK");
    EXPECT_EQ(rig.device->EraseCounts(), (std::map<int, unsigned>{{4, 1}}));
    // A probe is never repeated by the host, so its first copy is answered.
    ASSERT_TRUE(rig.host->Write(Request(3, "!D")));
    EXPECT_TRUE(rig.host->ReadReply(3));
}

TEST(DeviceFaults, NoiseSendsJunkAndForeignFramesBeforeTheRealReply) {
    SimOptions options = QuickOptions();
    options.noise = true;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    ASSERT_TRUE(rig.host->Write(Request(5, "!D")));
    const Bytes raw = rig.host->ReadRaw(); // up to the end of the first frame
    ASSERT_FALSE(raw.empty());
    EXPECT_NE(raw[0] & 0xC0, 0x40) << "the line should open with junk, not a frame";

    ASSERT_TRUE(rig.host->Write(Request(6, "!D")));
    std::vector<sim::Frame> before;
    const auto reply = rig.host->ReadReply(6, &before);
    ASSERT_TRUE(reply);
    EXPECT_EQ(PayloadText(*reply), ":DOK");
    bool otherUnit = false, otherStation = false, oldSequence = false;
    for (const sim::Frame& f : before) {
        otherUnit |= f.source == 0x41 && f.destination == 0xBC && f.sequence == 0xC6;
        otherStation |= f.source == 0x40 && f.destination != 0xBC && f.sequence == 0xC6;
        oldSequence |= f.source == 0x40 && f.destination == 0xBC && f.sequence == 0xC5;
    }
    EXPECT_TRUE(otherUnit);
    EXPECT_TRUE(otherStation);
    EXPECT_TRUE(oldSequence);
}

TEST(DeviceFaults, WriteErrorRepliesWithTheGivenNumberAndStoresNothing) {
    SimOptions options = QuickOptions();
    options.writeError = 0xFFFFFFFE;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    ASSERT_TRUE(rig.host->Write(Request(1, "!W", {0, 0, 0, 0, 0x55})));
    const auto reply = rig.host->ReadReply(1);
    ASSERT_TRUE(reply);
    EXPECT_EQ(PayloadText(*reply), ":WERRFFFFFFFE");
    EXPECT_TRUE(rig.device->Memory().Empty());
}

TEST(DeviceFaults, EraseFailsOnceForTheChosenClusterOnly) {
    SimOptions options = QuickOptions();
    options.eraseFailOnce = 9;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    const std::pair<std::uint8_t, const char*> steps[] = {
        {8, ":EOK"}, {9, ":EERR00000004"}, {9, ":EOK"}, {9, ":EOK"}};
    int sequence = 1;
    for (const auto& [cluster, expected] : steps) {
        ASSERT_TRUE(rig.host->Write(Request(sequence, "!E", {cluster})));
        const auto reply = rig.host->ReadReply(sequence);
        ASSERT_TRUE(reply) << "request " << sequence;
        EXPECT_EQ(PayloadText(*reply), expected) << "request " << sequence;
        ++sequence;
    }
    EXPECT_EQ(rig.device->EraseCounts(), (std::map<int, unsigned>{{8, 1}, {9, 2}}));
}

TEST(DeviceFaults, GoSilentNeverAnswersStart) {
    SimOptions options = QuickOptions();
    options.goSilent = true;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    ASSERT_TRUE(rig.host->Write(Request(1, "!G")));
    ASSERT_TRUE(rig.host->Write(Request(1, "!G"))); // the host's retransmission
    ASSERT_TRUE(rig.host->Write(Request(2, "!D")));
    std::vector<sim::Frame> before;
    ASSERT_TRUE(rig.host->ReadReply(2, &before));
    EXPECT_TRUE(before.empty());
    EXPECT_FALSE(rig.device->GoAnswered());
    EXPECT_EQ(rig.device->CommandLog().size(), 2u);
}

TEST(DeviceFaults, BaudOnlyIgnoresTheLineAtAnotherRate) {
    SimOptions options = QuickOptions();
    options.baudOnly = 19200;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    ASSERT_TRUE(rig.host->SetSpeed(9600));
    const Bytes wrongRate = Request(1, "!D");
    ASSERT_TRUE(rig.host->Write(wrongRate));
    // The rate is judged as the bytes are taken off the line; let that happen before changing it.
    ASSERT_TRUE(WaitFor([&] { return rig.device->BytesReceived() >= wrongRate.size(); }));

    ASSERT_TRUE(rig.host->SetSpeed(19200));
    ASSERT_TRUE(rig.host->Write(Request(2, "!D")));
    std::vector<sim::Frame> before;
    ASSERT_TRUE(rig.host->ReadReply(2, &before));
    EXPECT_TRUE(before.empty());
    EXPECT_EQ(rig.device->CommandLog().size(), 1u);
}

} // namespace
