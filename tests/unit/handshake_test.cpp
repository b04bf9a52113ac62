// The HANDSHAKE option as the command line gives it, and what each mode does to the DTR and RTS
// lines; the line settings the link asks the device for. How each platform's device puts
// them on the line is tested in serial_device_posix_test.cpp and serial_device_win32_test.cpp.

#include "fake_serial_device.h"
#include "platform/command_line.h"
#include "protocol/unit_link.h"
#include "serial/command_line_option.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

namespace {

struct CommandLineScope {
    explicit CommandLineScope(const std::string& line) { SetProcessCommandLine(line); }
    ~CommandLineScope() { SetProcessCommandLine("tovik"); }
};

TEST(HandshakeOption, ValuesAsTheCommandLineGivesThem) {
    const struct {
        const char* line;
        const char* value;
        int mode;
    } cases[] = {
        {"tovik /HANDSHAKE 3", "3", 0},
        {"tovik /HANDSHAKE3", "3", 0},
        {"tovik /HANDSHAKE 03", "03", 0},
        {"tovik /HANDSHAKE", "1", 1},
        {"tovik /HANDSHAKE    ", "1", 1},
        {"tovik /HANDSHAKE   /DEBUG", "1", 1},
        {"tovik /HANDSHAKE 1 /X", "1", 1},
        {"tovik /NOHANDSHAKE", "1", 1},
        {"tovik /HANDSHAKE=3", "=3", 2},
        {"tovik /HANDSHAKE 2", "2", 2},
        {"tovik /handshake 3", "", 2},
        {"tovik", "", 2},
        {"HANDSHAKE 3", "", 2}, // at the very start it does not count
    };
    FakeDeviceScope fake;
    for (const auto& c : cases) {
        CommandLineScope scope(c.line);
        EXPECT_STREQ(GetCommandLineOption("HANDSHAKE").c_str(), c.value) << c.line;
        CSerialPort port(0, 38400, 8, 'n', 1, 0);
        EXPECT_EQ(port.m_handshakeMode, c.mode) << c.line;
    }
}

// The (DTR, RTS) levels set on the device over a Configure, a frame and a Configure again.
std::vector<std::pair<bool, bool>> LevelsAroundAFrame(const std::string& commandLine) {
    CommandLineScope scope(commandLine);
    FakeDeviceScope fake;
    CUnitLink link(0, 38400, 60, 0);
    fake.line->settingsHistory.clear();
    link.SetPortParameters(57600, 8, 'n', 1);
    link.AppendPayload("!D");
    link.SendFrame();
    link.SetPortParameters(57600, 8, 'n', 1);
    std::vector<std::pair<bool, bool>> levels;
    for (const CLineSettings& s : fake.line->settingsHistory) {
        levels.emplace_back(s.dtr, s.rts);
    }
    return levels;
}

TEST(HandshakeModes, LinesPerMode) {
    using L = std::vector<std::pair<bool, bool>>;
    // Mode 0: off after each Configure; DTR off then RTS on before the frame, DTR on then RTS off
    // after it.
    EXPECT_EQ(LevelsAroundAFrame("tovik /HANDSHAKE 3"), (L{{false, false},
                                                           {false, false},
                                                           {false, true},
                                                           {true, true},
                                                           {true, false},
                                                           {false, false}}));
    // Mode 1: both held on; the frame changes nothing.
    EXPECT_EQ(LevelsAroundAFrame("tovik /HANDSHAKE"), (L{{true, true}, {true, true}}));
    // Mode 2: both held off.
    EXPECT_EQ(LevelsAroundAFrame("tovik"), (L{{false, false}, {false, false}}));
}

// The device speaks 8N1 only: a link that opened its port otherwise would garble every frame.
TEST(Configure, TheLinkOpensItsPortEightNoneOne) {
    FakeDeviceScope fake;
    CUnitLink link(0, 38400, 60, 0);
    ASSERT_FALSE(fake.line->settingsHistory.empty());
    EXPECT_EQ(fake.line->settingsHistory.front(),
              (CLineSettings{38400, 8, CLineSettings::kNone, 1, false, false}));
    // A device whose settings cannot be read refuses silently.
    fake.line->failGetSettings = true;
    EXPECT_EQ(link.SetPortParameters(57600, 8, 'n', 1), -1);
}

} // namespace
