// The host's link classes against the tovik-sim program over a real pseudo-terminal: probe,
// erase, write and start, and the device's memory must equal what was written. The host opens the
// fixed name --link makes, which replaces whatever had that name and is gone after the run.

#include "platform/com_map.h"
#include "protocol/frame_trace.h"
#include "protocol/unit_link.h"
#include "serial/port_status.h"

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/test_programs.h"
#include "tests/unit/message_box_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

struct Image {
    uint32_t address;
    std::vector<uint8_t> data;
};

std::vector<Image> TestImage() {
    std::mt19937 random(7);
    std::vector<Image> image = {{0x10000, std::vector<uint8_t>(3000)},
                                {0x20100, std::vector<uint8_t>(333)}};
    for (Image& part : image) {
        for (uint8_t& b : part.data) {
            b = static_cast<uint8_t>(random());
        }
    }
    // Bytes that need escaping on the wire.
    image[0].data[0] = 0x0D;
    image[0].data[1] = 0x1B;
    return image;
}

int WriteBlock(CUnitLink& link, uint32_t address, const uint8_t* data, int length) {
    uint8_t header[4] = {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
                         uint8_t(address)};
    link.AppendPayload(header, 4);
    link.AppendPayload(data, length);
    return link.Execute("!W", length * 30 + 1000);
}

void LoadThroughTheLink(const std::vector<std::string>& simOptions) {
    const ScratchDir dir;
    const std::string dump = dir / "dump.s19";
    const std::string port = dir / "ttyMarlex";
    std::ofstream(port) << "left over from an earlier run";
    std::vector<std::string> options = simOptions;
    options.insert(options.end(), {"--dump", dump, "--link", port});
    SimProcess sim(TestProgram(TOVIK_SIM_PATH), options);
    ASSERT_TRUE(sim.Ready());
    ASSERT_EQ(std::filesystem::read_symlink(port), sim.SlavePath());
    SetComDevicePath(3, port);

    std::vector<Image> image = TestImage();
    {
        CUnitLink link(3, 38400, 60, 0);
        ASSERT_TRUE(link.IsConnected());
        link.SetPortParameters(57600, 8, 'n', 1);
        ASSERT_EQ(link.Execute("!D", 200), 0);
        for (uint8_t cluster = 1; cluster < 8; ++cluster) {
            link.AppendPayload(&cluster, 1);
            ASSERT_EQ(link.Execute("!E", 30000), 0) << int(cluster);
        }
        for (const Image& part : image) {
            for (size_t at = 0; at < part.data.size(); at += 200) {
                int length = static_cast<int>(std::min<size_t>(200, part.data.size() - at));
                ASSERT_EQ(WriteBlock(link, part.address + uint32_t(at), &part.data[at], length), 0);
            }
        }
        ASSERT_EQ(link.Execute("!G", 60000), 0);
    }
    SetComDevicePath(3, "");
    ASSERT_EQ(sim.Stop(), 0) << "tovik-sim did not end cleanly";
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(port)));

    // The reference: the same bytes made into S-records and back into a binary by srec_cat.
    std::string reference = "srec_cat";
    for (size_t i = 0; i < image.size(); ++i) {
        std::string bin = dir / ("part" + std::to_string(i) + ".bin");
        std::ofstream(bin, std::ios::binary)
            .write(reinterpret_cast<const char*>(image[i].data.data()),
                   static_cast<std::streamsize>(image[i].data.size()));
        reference += " " + bin + " -binary -offset " + std::to_string(image[i].address);
    }
    ASSERT_EQ(RunShell(reference + " -o " + (dir / "expected.bin") + " -binary"), 0);
    ASSERT_EQ(RunShell("srec_cat " + dump + " -o " + (dir / "device.bin") + " -binary"), 0);
    EXPECT_EQ(RunShell("cmp " + (dir / "expected.bin") + " " + (dir / "device.bin")), 0);
}

TEST(LinkToSim, ProbeEraseWriteStartOnACleanLine) {
    LoadThroughTheLink({});
}

SimProcess* g_killDuringErase = nullptr;

// The device's process dies while an erase of 60 s runs: the erase ends at once with the port
// lost, and after the Retry/Cancel message (Cancel) every later command fails at once too.
TEST(LinkToSim, ADeviceThatDiesDuringAnEraseEndsItAtOnce) {
    SimProcess sim(TestProgram(TOVIK_SIM_PATH), {"--erase-ms", "60000"});
    ASSERT_TRUE(sim.Ready());
    SetComDevicePath(3, sim.SlavePath());
    MessageBoxScript boxes;
    {
        CUnitLink link(3, 38400, 60, 0);
        ASSERT_EQ(link.Execute("!D", 200), 0);
        g_killDuringErase = &sim;
        SetFrameTrace([](bool sent, const uint8_t* bytes, int length) {
            if (sent && length > 4 && bytes[3] == '!' && bytes[4] == 'E' && g_killDuringErase) {
                g_killDuringErase->Stop();
                g_killDuringErase = nullptr;
            }
        });
        uint8_t cluster = 1;
        link.AppendPayload(&cluster, 1);
        EXPECT_EQ(link.Execute("!E", 60000 + 1000), kReplyPortLost);
        SetFrameTrace(nullptr);
        std::string reason;
        EXPECT_TRUE(PortLost(3, &reason));
        EXPECT_FALSE(reason.empty());
        for (int i = 0; i < 2; ++i) {
            link.AppendPayload(&cluster, 1);
            EXPECT_EQ(link.Execute("!E", 60000 + 1000), kReplyPortLost);
        }
        EXPECT_EQ(boxes.shown, (std::vector<std::string>{PortBox("COM4")}));
    }
    SetComDevicePath(3, "");
}

} // namespace
