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

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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
    void FocusStartIfNothingFocused() override {
        (startEnabled ? focusWithStart : focusWithoutStart) += 1;
    }
    bool startEnabled = true;
    int focusWithStart = 0;    // FocusStartIfNothingFocused calls while Start was enabled
    int focusWithoutStart = 0; // and while it was not
    std::string PathText() override { return path; }
    void SetPathText(const std::string& text) override { path = text; }
    int interfaceIndex = 0; // what the Interface list shows; -1: no entry
    int InterfaceSelection() override { return interfaceIndex; }
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
    FILE* held = dialog->HeldFile();
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(dialog->m_nLineCount, 33); // 1 + the file's 32 line ends

    // Cancel in the chooser changes nothing; the chooser starts where the last file was.
    view.chosen.clear();
    dialog->OnSearch();
    EXPECT_EQ(view.chooserDirectory, dir + "/firmware");
    EXPECT_EQ(dialog->HeldFile(), held);
    EXPECT_EQ(dialog->m_nLineCount, 33);

    // A chosen file that cannot be opened: message, no file, the path field keeps its text.
    view.chosen = dir + "/vanished.s19";
    dialog->OnSearch();
    EXPECT_EQ(boxes, (std::vector<std::string>{"Sorry I was not able to open that file !"}));
    EXPECT_EQ(dialog->HeldFile(), nullptr);
    EXPECT_EQ(dialog->m_nLineCount, 0);
    EXPECT_EQ(view.path, first);
    EXPECT_EQ(OpenPath(), first);
}

TEST_F(DialogBehaviour, AFileThatFailsTheCheckIsRefusedAtStartAndLetGo) {
    std::string bad = SRecordLine(0, 0) + DataRecords(2, 0x10000, 3, 16) + SRecordLine(9, 0);
    bad[bad.find('\n', bad.find('\n') + 1) - 1] ^= 1; // line 2's checksum
    const std::pair<std::string, std::string> cases[] = {
        {bad, "Sorry, line 2 of the file has a wrong checksum !"},
        {SRecordLine(0, 0) + SRecordLine(9, 0), "File contains no data !"},
    };
    for (const auto& [text, message] : cases) {
        boxes.clear();
        view.path = dir + "/refused.s19";
        std::ofstream(view.path) << text;
        dialog->OnStart();
        EXPECT_EQ(boxes, (std::vector<std::string>{message}));
        EXPECT_EQ(dialog->m_bRun, 0);
        EXPECT_EQ(dialog->HeldFile(), nullptr);
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        EXPECT_TRUE(fake.line->written.empty());
    }
}

TEST_F(DialogBehaviour, EachStartProgramsTheFileAsItWasAtThatStart) {
    // The data the device is given, and a hook that runs at the first erase of a run.
    std::vector<uint8_t> written;
    std::function<void()> atFirstErase;
    FakeLine* line = fake.line.get();
    fake.line->onFrame = [&, line](const std::vector<uint8_t>& wire) {
        std::vector<uint8_t> payload = PayloadOf(wire);
        if (payload.size() < 2) {
            return;
        }
        if (payload[1] == 'E' && atFirstErase) {
            atFirstErase();
            atFirstErase = nullptr;
        }
        if (payload[1] == 'W') {
            written.insert(written.end(), payload.begin() + 6, payload.end());
        }
        line->Deliver(DeviceReply(wire[2], ":" + std::string(1, char(payload[1])) + "OK"),
                      NowMs() + 1);
    };
    auto runToItsEnd = [this] {
        dialog->OnStart();
        return WaitUntil([&] {
            dialog->UiCalls().Drain();
            return !dialog->Running() && !dialog->LinkHeld();
        });
    };
    const auto image = [](int records, std::vector<uint8_t>* data) {
        return SRecordLine(0, 0) + DataRecords(2, 0x10000, records, 16, data) + SRecordLine(9, 0);
    };
    std::vector<uint8_t> chosen, atStart, duringRun;
    const std::string path = dir + "/firmware/changing.s19";
    std::ofstream(path) << image(3, &chosen);
    view.chosen = path;
    dialog->OnSearch();
    ASSERT_NE(dialog->HeldFile(), nullptr);

    // Rewritten in place after it was chosen, and again while the device is erased: the run
    // programs the file as Start found it.
    std::ofstream(path, std::ios::trunc) << image(20, &atStart);
    atFirstErase = [&] { std::ofstream(path, std::ios::trunc) << image(7, &duringRun); };
    ASSERT_TRUE(runToItsEnd());
    {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        EXPECT_EQ(written, atStart);
        written.clear();
    }
    // The next Start reads the held file again from its beginning.
    ASSERT_TRUE(runToItsEnd());
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_EQ(written, duringRun);
    EXPECT_EQ(boxes, (std::vector<std::string>(2, "Transmission complete.\nDevice started.")));
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
    // The focus is given back to Start when Start is back, never to a disabled Start.
    EXPECT_EQ(view.focusWithStart, 1);
    EXPECT_EQ(view.focusWithoutStart, 0);
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_EQ(writeSequences.size(), 1u); // nothing was written after the Stop
}

TEST_F(DialogBehaviour, StartWithoutAnInterfaceSendsNothingAndSaysSo) {
    view.path = dir + "/good.s19";
    std::ofstream(view.path) << SRecordLine(0, 0) + DataRecords(2, 0x10000, 3, 16) +
                                    SRecordLine(9, 0);
    view.interfaceIndex = -1;
    dialog->OnStart();
    EXPECT_EQ(boxes, (std::vector<std::string>{kNoInterfaceMessage}));
    EXPECT_EQ(dialog->m_bRun, 0);
    EXPECT_TRUE(view.startEnabled);
    EXPECT_EQ(dialog->HeldFile(), nullptr) << "nothing was done with the file either";
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_TRUE(fake.line->written.empty());
}

TEST_F(DialogBehaviour, SettingsThatCannotBeSavedAreToldOnceNamingTheFileAndTheReason) {
    // A regular file where the settings folder should be: no user, root included, can save.
    std::ofstream(dir + "/blocker") << "x";
    const std::string blocked = dir + "/blocker/tovik/tovik.ini";
    const std::string told =
        "The settings could not be saved in " + blocked + ":\n" + std::strerror(ENOTDIR);
    const std::string chosen = dir + "/firmware/chosen.s19";
    std::ofstream(chosen) << SRecordLine(0, 0) + SRecordLine(9, 0);
    for (bool searchFirst : {false, true}) {
        SCOPED_TRACE(searchFirst ? "search, then Esc" : "Esc");
        dialog.reset();
        boxes.clear();
        profile = std::make_unique<CProfile>(blocked);
        dialog = std::make_unique<CTovikDlgBehaviour>(&view, profile.get());
        dialog->OnInitDialog();
        if (searchFirst) {
            view.chosen = chosen;
            dialog->OnSearch();
            EXPECT_EQ(view.path, chosen);
            // The choice still holds while the dialog is open.
            view.chosen.clear();
            dialog->OnSearch();
            EXPECT_EQ(view.chooserDirectory, dir + "/firmware");
        }
        dialog->OnCancel();
        EXPECT_TRUE(dialog->WorkerEnded());
        EXPECT_EQ(boxes, (std::vector<std::string>{told}));
        EXPECT_EQ(ReadText(dir + "/blocker"), "x");
    }
    // Without a home there is no file to name.
    EXPECT_EQ(SettingsNotSavedMessage("", "there is no home directory to keep them in"),
              "The settings could not be saved: there is no home directory to keep them in.");
}

struct Refusal {
    const char* name;
    std::string text;
    std::string box;
    friend void PrintTo(const Refusal& r, std::ostream* out) { *out << r.name; }
};

std::string Image(uint32_t address) {
    return SRecordLine(0, 0) + DataRecords(2, address, 3, 16) + SRecordLine(9, 0);
}

const Refusal kRefusals[] = {
    {"JoinedImages", Image(0x10000) + Image(0x20000),
     "Sorry, line 7 of the file holds data after the end record on line 5: two images were "
     "joined by mistake, and the second would not be loaded ! Join them with one end record at "
     "the end, e.g. srec_cat first.s19 second.s19 -o both.s19"},
    {"CrOnly",
     [] {
         std::string text = Image(0x10000);
         std::replace(text.begin(), text.end(), '\n', '\r');
         return text;
     }(),
     "Sorry, line 1 of the file holds several records: the lines of the file end in a CR alone ! "
     "Convert them to line feeds first, e.g. tr '\\r' '\\n' < old.s19 > new.s19"},
    {"CountWrong",
     SRecordLine(0, 0) + DataRecords(2, 0x10000, 3, 16) + "S5030004F8\n" + SRecordLine(9, 0),
     "Sorry, line 5 of the file counts 4 data records before it, but 3 are there: records were "
     "lost !"},
    {"Zeros", std::string(4 << 20, '\0'), "Sorry, line 1 of the file is not an S-record !"},
};

// What the file check refuses is refused at Start, before anything is sent: two images joined
// into one file, lines ended by a CR alone, a count record that finds records missing, and a
// stream that is not text at all, which is not read whole first.
class DialogFileRefusal : public DialogBehaviour, public ::testing::WithParamInterface<Refusal> {};

TEST_P(DialogFileRefusal, AtStartWithItsReasonAndNothingSent) {
    view.path = dir + "/refused.s19";
    std::ofstream(view.path, std::ios::binary) << GetParam().text;
    dialog->OnStart();
    EXPECT_EQ(boxes, (std::vector<std::string>{GetParam().box}));
    EXPECT_EQ(dialog->m_bRun, 0);
    EXPECT_EQ(dialog->HeldFile(), nullptr) << "the refused file is still held";
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_TRUE(fake.line->written.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, DialogFileRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
