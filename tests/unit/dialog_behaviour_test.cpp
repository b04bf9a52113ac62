// What the dialog does, shared by its windows and tested once here, without a window: the view is
// plain fields, this thread plays the window's thread. How each window maps its keys and draws is
// tested on the real windows (tests/gui, tests/e2e/wine_dialog.sh).

#include "fake_serial_device.h"
#include "loader_test_support.h"
#include "platform/message_box.h"
#include "serial/link_lock.h"
#include "settings/profile.h"
#include "ui/dialog_behaviour.h"
#include "ui/dialog_lists.h"
#include "ui/help_text.h"

#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <utility>

namespace {

struct FakeView : CDialogView {
    // The dialog itself, as the holder of the keys.
    static constexpr int kDialog = 0;
    std::string path;
    std::string chosen; // what the file chooser returns; empty: Cancel
    std::string chooserDirectory;
    std::map<int, std::string> shown; // the text each list shows
    std::set<int> disabled;
    int focus = kStart;
    std::vector<std::string> boxes, captions;
    std::function<void()> duringBox; // runs once, while the next box is shown
    int ended = 0;                   // the result the dialog ended with; 0: still open

    void ShowStatus(const std::string&) override {}
    void ShowProgressRange(int, int) override {}
    void ShowProgressPos(int) override {}
    void PlayAnimation() override {}
    void StopAnimation() override {}
    void EnableControl(Control control, bool enable) override {
        enable ? (void)disabled.erase(control) : (void)disabled.insert(control);
    }
    bool FocusLost() override { return focus == kDialog || disabled.count(focus) != 0; }
    void FocusControl(Control control) override { focus = control; }
    void KeepKeys() override { focus = kDialog; }
    std::string PathText() override { return path; }
    void SetPathText(const std::string& text) override { path = text; }
    std::string ListText(Control list) override { return shown[list]; }
    void SelectListEntry(Control list, int index) override {
        EXPECT_LT(index, ListOf(list).count) << "an index outside the list";
        shown[list] = index < 0 || index >= ListOf(list).count ? "" : ListOf(list).entries[index];
    }
    bool ChooseFile(const std::string& directory, std::string* p) override {
        chooserDirectory = directory;
        *p = chosen;
        return !chosen.empty();
    }
    int ShowBox(const std::string& text, const std::string& caption, unsigned) override {
        boxes.push_back(text);
        captions.push_back(caption);
        if (auto during = std::exchange(duringBox, nullptr)) {
            during();
        }
        return kIdOk;
    }
    std::string HelpCaption() override { return "Help"; }
    void EndDialog(int result) override { ended = result; }
};

struct DialogBehaviour : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    std::unique_ptr<CProfile> profile;
    FakeView view;
    std::unique_ptr<CTovikDlgBehaviour> dialog;
    std::vector<std::string>& boxes = view.boxes;

    void SetUp() override {
        std::filesystem::create_directories(dir + "/firmware");
        Open();
    }
    // A new dialog on the profile at path (default: the scratch one, as written).
    void Open(const std::string& path = "") {
        dialog.reset();
        view = FakeView();
        profile = std::make_unique<CProfile>(path.empty() ? dir + "/tovik.ini" : path);
        dialog = std::make_unique<CTovikDlgBehaviour>(&view, profile.get());
        dialog->OnInitDialog();
    }
    std::string OpenPath() { return profile->GetProfileString("Tovik", "Openpath", ""); }
    // Serves the calls the worker hands this thread until condition holds.
    bool ServeUntil(const std::function<bool()>& condition) {
        return WaitUntil([&] {
            dialog->UiCalls().Drain();
            return condition();
        });
    }
    std::string Saved(const char* key) { return profile->GetProfileString("Tovik", key, "none"); }
};

TEST_F(DialogBehaviour, SearchKeepsTheFileAndThePathUnlessANewFileOpens) {
    // Away from the profile's directory, so that the chooser's start shows where it came from.
    const std::string first = dir + "/firmware/first.s19";
    std::ofstream(first) << WithEnd(DataRecords(2, 0x10000, 30, 16));
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

TEST_F(DialogBehaviour, EachStartProgramsTheFileAsItWasAtThatStart) {
    // The data the device is given, and a hook that runs at the first erase of a run.
    std::vector<uint8_t> written;
    std::function<void()> atFirstErase;
    AnswerAllRequests(*fake.line, 1, [&](const std::vector<uint8_t>& payload, uint8_t) {
        if (payload[1] == 'E' && atFirstErase) {
            std::exchange(atFirstErase, nullptr)();
        }
        if (payload[1] == 'W') {
            written.insert(written.end(), payload.begin() + 6, payload.end());
        }
    });
    auto runToItsEnd = [this] {
        dialog->OnStart();
        return ServeUntil([&] { return !dialog->Running() && !dialog->LinkHeld(); });
    };
    const auto image = [](int records, std::vector<uint8_t>* data) {
        return WithEnd(DataRecords(2, 0x10000, records, 16, data));
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
    // The next Start reads the held file again from its beginning, whatever the path field says.
    view.path = dir + "/no-such-file.s19";
    ASSERT_TRUE(runToItsEnd());
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_EQ(written, duringRun);
    EXPECT_EQ(boxes, (std::vector<std::string>(2, "Transmission complete.\nDevice started.")));
}

TEST_F(DialogBehaviour, StartComesBackOnlyWhenTheStoppedRunHasLetGo) {
    // A device that takes 5 s (of virtual time) to answer a write, and the others at once.
    std::set<uint8_t> writeSequences;
    AnswerAllRequests(*fake.line, 5000, [&](const std::vector<uint8_t>& payload, uint8_t sequence) {
        if (payload[1] == 'W') {
            writeSequences.insert(sequence);
        }
    });
    view.path = dir + "/long.s19";
    std::ofstream(view.path) << WithEnd(DataRecords(2, 0x10000, 100, 16));
    dialog->OnStart();
    // Start, pressed, was disabled with the focus: Stop takes it.
    EXPECT_EQ(view.focus, CDialogView::kStop);
    ASSERT_TRUE(ServeUntil([&] {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        return !writeSequences.empty();
    }));
    dialog->OnStop();
    // The write in flight still holds the file and the port: no new Start or file yet, and no
    // control to take the keys, which the dialog itself holds meanwhile (Esc must still work).
    EXPECT_EQ(view.disabled.count(CDialogView::kStart), 1u);
    EXPECT_EQ(view.focus, FakeView::kDialog);
    ASSERT_TRUE(ServeUntil([&] { return view.disabled.count(CDialogView::kStart) == 0; }));
    EXPECT_FALSE(dialog->m_bLinkHeld);
    EXPECT_EQ(view.focus, CDialogView::kStart);
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_EQ(writeSequences.size(), 1u); // nothing was written after the Stop
}

// An Interface list that shows no entry: from a profile whose index is outside the list, or a
// typed text that names none. Start must say so before anything else happens.
TEST_F(DialogBehaviour, StartWithoutAnInterfaceSendsNothingAndSaysSo) {
    const struct {
        const char* comPort;
        const char* typed; // null: the list as the profile left it
    } cases[] = {{"9", nullptr}, {"-1", nullptr}, {"0", "Com10"}, {"0", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.comPort) + " / " + (c.typed ? c.typed : "(as read)"));
        std::ofstream(dir + "/tovik.ini") << "[Tovik]\nComPort=" << c.comPort << "\n";
        Open();
        EXPECT_EQ(view.shown[CDialogView::kInterface], c.typed ? "Com1" : "");
        if (c.typed) {
            view.shown[CDialogView::kInterface] = c.typed;
        }
        view.path = dir + "/good.s19";
        std::ofstream(view.path) << WithEnd(DataRecords(2, 0x10000, 3, 16));
        dialog->OnStart();
        EXPECT_EQ(boxes, (std::vector<std::string>{kNoInterfaceMessage}));
        EXPECT_EQ(dialog->m_bRun, 0);
        EXPECT_TRUE(view.disabled.empty());
        EXPECT_EQ(dialog->HeldFile(), nullptr) << "nothing was done with the file either";
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        EXPECT_TRUE(fake.line->written.empty());
    }
}

// Esc and the close box end the worker, keep what the lists show in the profile (a typed text
// as the entry it names, whatever its case; -1 for none) and end the dialog with Cancel; Enter
// ends it with OK and keeps nothing.
TEST_F(DialogBehaviour, HowTheDialogEndsAndWhatItKeeps) {
    using Handler = void (CTovikDlgBehaviour::*)();
    const struct {
        Handler end;
        const char *interfaceText, *baudText;
        int result;
        const char *comPort, *baud; // as saved; "none": not saved
    } cases[] = {
        {&CTovikDlgBehaviour::OnEscape, "Com3", "57600", kIdCancel, "2", "2"},
        {&CTovikDlgBehaviour::OnEscape, "com3", "57 600", kIdCancel, "2", "-1"},
        {&CTovikDlgBehaviour::OnClose, "COM9", "auto", kIdCancel, "8", "0"},
        {&CTovikDlgBehaviour::OnClose, "Com10", "115200", kIdCancel, "-1", "3"},
        {&CTovikDlgBehaviour::OnEscape, "", "", kIdCancel, "-1", "-1"},
        {&CTovikDlgBehaviour::OnEnter, "Com3", "57600", kIdOk, "none", "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.interfaceText) + " / " + c.baudText);
        std::filesystem::remove(dir + "/tovik.ini");
        Open();
        EXPECT_EQ(view.shown[CDialogView::kInterface], "Com1");
        EXPECT_EQ(view.shown[CDialogView::kBaudrate], "38400");
        view.shown[CDialogView::kInterface] = c.interfaceText;
        view.shown[CDialogView::kBaudrate] = c.baudText;
        ((*dialog).*c.end)();
        EXPECT_TRUE(dialog->WorkerEnded());
        EXPECT_EQ(view.ended, c.result);
        EXPECT_EQ(Saved("ComPort"), c.comPort);
        EXPECT_EQ(Saved("Baud"), c.baud);
        EXPECT_TRUE(boxes.empty());
    }
}

// F1 shows the help with the window's caption; F1 pressed in the help box shows no second one.
TEST_F(DialogBehaviour, OneHelpBoxAtATime) {
    view.duringBox = [this] { dialog->OnHelp(); };
    dialog->OnHelp();
    dialog->OnHelp();
    EXPECT_EQ(boxes, (std::vector<std::string>(2, HelpText())));
    EXPECT_EQ(view.captions, (std::vector<std::string>(2, "Help")));
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
        Open(blocked);
        if (searchFirst) {
            view.chosen = chosen;
            dialog->OnSearch();
            EXPECT_EQ(view.path, chosen);
            // The choice still holds while the dialog is open.
            view.chosen.clear();
            dialog->OnSearch();
            EXPECT_EQ(view.chooserDirectory, dir + "/firmware");
        }
        dialog->OnEscape();
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

const Refusal kRefusals[] = {
    {"NoFile", "", "Sorry wrong filename given !"},
    {"Checksum",
     [] {
         std::string text = WithEnd(DataRecords(2, 0x10000, 3, 16));
         text[text.find('\n', text.find('\n') + 1) - 1] ^= 1; // line 2's checksum
         return text;
     }(),
     "Sorry, line 2 of the file has a wrong checksum !"},
};

// A path that names no file, and a file the check refuses, are refused at Start before anything is
// sent, and the file is let go. Each of the check's reasons is tested in file_check_test.cpp; here
// one of them shows that the dialog tells it.
class DialogFileRefusal : public DialogBehaviour, public ::testing::WithParamInterface<Refusal> {};

TEST_P(DialogFileRefusal, AtStartWithItsReasonAndNothingSent) {
    view.path = dir + "/refused.s19";
    if (!GetParam().text.empty()) {
        std::ofstream(view.path, std::ios::binary) << GetParam().text;
    }
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
