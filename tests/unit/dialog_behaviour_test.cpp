// What the dialog does with files, driven without a window: the view is plain fields, this thread
// plays the window's thread. The window itself, a whole load and every way of ending one are
// tested on the real dialog in tests/gui; here are the file chooser's cases and a file refused at
// Start, which that test does not reach.

#include "fake_serial_device.h"
#include "loader_test_support.h"
#include "platform/message_box.h"
#include "serial/link_lock.h"
#include "settings/profile.h"
#include "ui/dialog_behaviour.h"

#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

struct FakeView : CDialogView {
    std::string path;
    std::string chosen; // what the file chooser returns; empty: Cancel
    std::string chooserDirectory;

    void ShowStatus(const std::string&) override {}
    void ShowProgressRange(int, int) override {}
    void ShowProgressPos(int) override {}
    void PlayAnimation() override {}
    void StopAnimation() override {}
    void EnableControl(Control control, bool enable) override {
        if (control == kStart) {
            startEnabled = enable;
        }
    }
    bool startEnabled = true;
    std::string PathText() override { return path; }
    void SetPathText(const std::string& text) override { path = text; }
    int InterfaceSelection() override { return 0; }
    void SelectInterface(int) override {}
    int BaudrateSelection() override { return 1; }
    void SelectBaudrate(int) override {}
    bool ChooseFile(const std::string& directory, std::string* p) override {
        chooserDirectory = directory;
        *p = chosen;
        return !chosen.empty();
    }
};

struct DialogBehaviour : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    std::unique_ptr<CProfile> profile;
    FakeView view;
    std::unique_ptr<CTovikDlgBehaviour> dialog;
    std::vector<std::string> boxes;

    void SetUp() override {
        std::filesystem::create_directories(dir + "/firmware");
        profile = std::make_unique<CProfile>(dir + "/tovik.ini");
        SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            boxes.push_back(text);
            return kIdOk;
        });
        dialog = std::make_unique<CTovikDlgBehaviour>(&view, profile.get());
        dialog->OnInitDialog();
    }
    void TearDown() override {
        dialog.reset();
        SetMessageBoxHook(nullptr);
    }
    std::string OpenPath() { return profile->GetProfileString("Tovik", "Openpath", ""); }
};

TEST_F(DialogBehaviour, SearchKeepsTheFileAndThePathUnlessANewFileOpens) {
    // Away from the profile's directory, so that the chooser's start shows where it came from.
    const std::string first = dir + "/firmware/first.s19";
    std::ofstream(first) << SRecordLine(0, 0) + DataRecords(2, 0x10000, 30, 16) + SRecordLine(9, 0);
    view.chosen = first;
    dialog->OnSearch();
    EXPECT_EQ(view.path, first);
    EXPECT_EQ(OpenPath(), first);
    FILE* held = dialog->m_pFile;
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(dialog->m_nLineCount, 33); // 1 + the file's 32 line ends

    // Cancel in the chooser changes nothing; the chooser starts where the last file was.
    view.chosen.clear();
    dialog->OnSearch();
    EXPECT_EQ(view.chooserDirectory, dir + "/firmware");
    EXPECT_EQ(dialog->m_pFile, held);
    EXPECT_EQ(dialog->m_nLineCount, 33);

    // A chosen file that cannot be opened: message, no file, the path field keeps its text.
    view.chosen = dir + "/vanished.s19";
    dialog->OnSearch();
    EXPECT_EQ(boxes, (std::vector<std::string>{"Sorry I was not able to open that file !"}));
    EXPECT_EQ(dialog->m_pFile, nullptr);
    EXPECT_EQ(dialog->m_nLineCount, 0);
    EXPECT_EQ(view.path, first);
    EXPECT_EQ(OpenPath(), first);
}

TEST_F(DialogBehaviour, AFileWithABadLineIsRefusedAtStartAndLetGo) {
    std::string text = SRecordLine(0, 0) + DataRecords(2, 0x10000, 3, 16) + SRecordLine(9, 0);
    text[text.find('\n', text.find('\n') + 1) - 1] ^= 1; // line 2's checksum
    view.path = dir + "/bad.s19";
    std::ofstream(view.path) << text;
    dialog->OnStart();
    EXPECT_EQ(boxes,
              (std::vector<std::string>{"Sorry, line 2 of the file has a wrong checksum !"}));
    EXPECT_EQ(dialog->m_bRun, 0);
    EXPECT_EQ(dialog->m_pFile, nullptr);
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_TRUE(fake.line->written.empty());
}

TEST_F(DialogBehaviour, StartComesBackOnlyWhenTheStoppedRunHasLetGo) {
    // A device that takes 5 s (of virtual time) to answer a write, and the others at once.
    std::set<uint8_t> writeSequences;
    FakeLine* line = fake.line.get();
    fake.line->onFrame = [&, line](const std::vector<uint8_t>& wire) {
        std::vector<uint8_t> payload = PayloadOf(wire);
        bool write = payload[1] == 'W';
        if (write) {
            writeSequences.insert(wire[2]);
        }
        line->Deliver(DeviceReply(wire[2], ":" + std::string(1, char(payload[1])) + "OK"),
                      NowMs() + (write ? 5000 : 1));
    };
    view.path = dir + "/long.s19";
    std::ofstream(view.path) << SRecordLine(0, 0) + DataRecords(2, 0x10000, 100, 16) +
                                    SRecordLine(9, 0);
    dialog->OnStart();
    auto serveUntil = [this](auto condition) {
        return WaitUntil([&] {
            dialog->UiCalls().Drain();
            return condition();
        });
    };
    ASSERT_TRUE(serveUntil([&] {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        return !writeSequences.empty();
    }));
    dialog->OnStop();
    // The write in flight still holds the file and the port: no new Start or file yet.
    EXPECT_FALSE(view.startEnabled);
    ASSERT_TRUE(serveUntil([&] { return view.startEnabled; }));
    EXPECT_FALSE(dialog->m_bLinkHeld);
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_EQ(writeSequences.size(), 1u); // nothing was written after the Stop
}

} // namespace
