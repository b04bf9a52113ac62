// The running device over its real pseudo-terminal: exact answers, addressing, the dump,
// retransmissions and a host that closes and reopens the port.

#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace simtest;

TEST(DeviceLink, ProbeReplyIsByteExact) {
    Rig rig = StartRig(QuickOptions());
    ASSERT_TRUE(rig);
    ASSERT_TRUE(rig.host->Write({0x7C, 0x80, 0xC1, 0x21, 0x44, 0x39, 0x41, 0x0D, 0x0A, 0xFF}));
    EXPECT_EQ(rig.host->ReadRaw(),
              (Bytes{0x40, 0xBC, 0xC1, 0x3A, 0x44, 0x4F, 0x4B, 0x45, 0x37, 0x0D, 0x0A, 0xFF}));
}

TEST(DeviceLink, AnswersOnlyUnitZeroAndBackToTheAskingStation) {
    Rig rig = StartRig(QuickOptions());
    ASSERT_TRUE(rig);
    Bytes toUnit1 = Request(1, "!D");
    toUnit1[1] = 0x81;
    Bytes fromStation5 = Request(9, "?UNIT");
    fromStation5[0] = 0x45;
    ASSERT_TRUE(rig.host->Write(toUnit1));
    ASSERT_TRUE(rig.host->Write(fromStation5));
    const Bytes reply = rig.host->ReadRaw();
    ASSERT_GE(reply.size(), 3u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x40, 0x85, 0xC9}));
    ASSERT_EQ(rig.device->CommandLog().size(), 1u);
    EXPECT_EQ(rig.device->CommandLog()[0].text, "?UNIT");
}

TEST(DeviceLink, WrittenDataComesBackFromTheDumpAtGo) {
    SimOptions options = QuickOptions();
    options.dumpPath = TempPath(".s3");
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    // Full of bytes that need escaping, so the stored data proves the escapes were undone.
    Bytes params = {0, 0, 0, 0x10};
    for (int i = 0; i < 200; ++i) {
        params.push_back(static_cast<std::uint8_t>(i % 2 ? 0x0D : 0x1B + i));
    }
    ASSERT_TRUE(rig.host->Write(Request(1, "!W", params)));
    auto reply = rig.host->ReadReply(1);
    ASSERT_TRUE(reply);
    EXPECT_EQ(PayloadText(*reply), ":WOK");
    EXPECT_FALSE(rig.device->GoAnswered());

    ASSERT_TRUE(rig.host->Write(Request(2, "!G")));
    reply = rig.host->ReadReply(2);
    ASSERT_TRUE(reply);
    EXPECT_EQ(PayloadText(*reply), ":GOK");
    // Set once the reply has been handed over, so it may trail the host's read by a moment.
    EXPECT_TRUE(WaitFor([&] { return rig.device->GoAnswered(); }));

    const auto binary = SrecToBinary(options.dumpPath);
    std::remove(options.dumpPath.c_str());
    if (!binary) {
        GTEST_SKIP() << "srec_cat is not available";
    }
    Bytes expected(0x10, 0x00);
    expected.insert(expected.end(), params.begin() + 4, params.end());
    EXPECT_EQ(*binary, expected);
}

TEST(DeviceLink, RetransmissionGetsTheSameReplyWithoutRunningTwice) {
    Rig rig = StartRig(QuickOptions());
    ASSERT_TRUE(rig);
    const Bytes erase = Request(7, "!E", {3});
    ASSERT_TRUE(rig.host->Write(erase));
    const Bytes first = rig.host->ReadRaw();
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(rig.host->Write(erase));
    EXPECT_EQ(rig.host->ReadRaw(), first);
    EXPECT_EQ(rig.device->EraseCounts(), (std::map<int, unsigned>{{3, 1}}));

    // With another request in between, the same sequence number is a new request again.
    ASSERT_TRUE(rig.host->Write(Request(8, "!D")));
    ASSERT_TRUE(rig.host->ReadReply(8));
    ASSERT_TRUE(rig.host->Write(erase));
    ASSERT_TRUE(rig.host->ReadReply(7));
    EXPECT_EQ(rig.device->EraseCounts(), (std::map<int, unsigned>{{3, 2}}));
}

TEST(DeviceLink, HostMayCloseAndReopenThePortThroughTheLink) {
    SimOptions options = QuickOptions();
    options.linkPath = TempPath(".link");
    ::unlink(options.linkPath.c_str());
    ASSERT_EQ(::symlink("/nonexistent-old-target", options.linkPath.c_str()), 0);
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    rig.host.reset();
    for (int session = 1; session <= 2; ++session) {
        PtyHost host(options.linkPath);
        ASSERT_TRUE(host.IsOpen()) << "session " << session;
        ASSERT_TRUE(host.Write(Request(session, "!D")));
        const auto reply = host.ReadReply(session);
        ASSERT_TRUE(reply) << "session " << session;
        EXPECT_EQ(PayloadText(*reply), ":DOK");
    }
    // The link goes with the device, so nothing can open a stale name later.
    rig.device->Stop();
    struct stat info {};
    EXPECT_NE(::lstat(options.linkPath.c_str(), &info), 0);
}

} // namespace
