// The real dialog under a virtual X server: its controls through a whole load into the virtual
// device, and every way of ending it.

#include "loader/program_file.h"
#include "platform/com_map.h"
#include "platform/message_box.h"
#include "settings/profile.h"
#include "sim/virtual_device.h"
#include "tests/unit/loader_test_support.h"
#include "ui/wx/search_animation_ctrl.h"
#include "ui/wx/tovik_dlg.h"

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// A shell command that gives the X focus to our visible window whose title is exactly title (the
// search ignores case). It gives up after a minute, so a window that never appears fails the test
// instead of hanging it.
std::string FocusOn(const std::string& title) {
    return "w=$(timeout 60 xdotool search --all --sync --onlyvisible --pid $PPID --name '^" +
           title + "$' | head -n 1) && timeout 60 xdotool windowfocus --sync \"$w\"";
}

// The focus as above, then keys typed into the window as a person would, through XTest.
std::string FocusAndType(const std::string& title, const std::string& keys) {
    return FocusOn(title) + " && xdotool key " + keys;
}

// The focus as above, then a click of the mouse's left button on the middle of control. The place
// is taken within the window from the layout alone: where the window is on the screen, a window
// manager may still be changing while the test asks.
std::string FocusAndClick(const std::string& title, wxWindow* control) {
    wxPoint middle = control->GetPosition() + control->GetSize() / 2;
    for (wxWindow* parent = control->GetParent(); parent && !parent->IsTopLevel();
         parent = parent->GetParent()) {
        middle += parent->GetPosition();
    }
    return FocusOn(title) + " && xdotool mousemove --window \"$w\" --sync " +
           std::to_string(middle.x) + " " + std::to_string(middle.y) + " click 1";
}

// Every display call the window carries out, as it happens (not sampled between events).
struct DisplayLog : CDisplayWatcher {
    std::vector<std::string> statuses;
    std::vector<std::pair<int, int>> ranges;
    int highestProgrammingPos = 0;
    int inputsEnabledDuringARun = 0;

    bool Running() const { return !statuses.empty() && statuses.back() != "Status Messages"; }
    void StatusShown(const std::string& text) override { statuses.push_back(text); }
    void ProgressRangeShown(int lower, int upper) override { ranges.emplace_back(lower, upper); }
    void ProgressPosShown(int position) override {
        if (!statuses.empty() && statuses.back() == "Programming ") {
            highestProgrammingPos = std::max(highestProgrammingPos, position);
        }
    }
    void ControlEnabled(CDialogView::Control control, bool enable) override {
        if (enable && control != CDialogView::kStop && Running()) {
            ++inputsEnabledDuringARun;
        }
    }
};

struct DialogGui : ::testing::Test {
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    wxGUIEventLoop loop;
    std::unique_ptr<wxEventLoopActivator> active;
    std::unique_ptr<VirtualDevice> device;
    std::unique_ptr<CProfile> profile;
    DisplayLog display;
    std::unique_ptr<CTovikDlg> dlg;
    std::mutex boxMutex;
    std::vector<std::string> boxes;

    void SetUp() override {
        g_blockLimit = 198;
        active = std::make_unique<wxEventLoopActivator>(&loop);
    }
    void TearDown() override {
        dlg.reset();
        device.reset();
        SetComDevicePath(0, "");
        g_blockLimit = 198;
    }
    // The virtual device, mapped as COM1 through the profile's Ports section.
    void StartDevice(SimOptions options = SimOptions()) {
        device = std::make_unique<VirtualDevice>(options);
        ASSERT_TRUE(device->Start());
        std::ofstream(dir + "/tovik.ini") << "[Ports]\nCOM1=" << device->SlavePath() << "\n";
    }
    // The test answers every box (OK, or Cancel where it is offered); with realBoxes the dialog
    // shows them and a person, or xdotool, answers.
    void Open(bool realBoxes = false) {
        dlg.reset(); // before the new one installs its boxes, which the old one would remove
        profile = std::make_unique<CProfile>(dir + "/tovik.ini");
        LoadComMapFromProfile(*profile);
        dlg = std::make_unique<CTovikDlg>(nullptr, profile.get());
        display = DisplayLog();
        dlg->WatchDisplay(&display);
        dlg->Show();
        dlg->InitDialog();
        MessageBoxHook dialogBoxes = SetMessageBoxHook(nullptr);
        SetMessageBoxHook([this, realBoxes, dialogBoxes](
                              const std::string& text, const std::string& caption, unsigned type) {
            {
                std::lock_guard<std::mutex> guard(boxMutex);
                boxes.push_back(text);
            }
            if (realBoxes) {
                return dialogBoxes(text, caption, type);
            }
            return (type & kMbButtonMask) == kMbRetryCancel ? kIdCancel : kIdOk;
        });
        Pump();
    }
    std::vector<std::string> Boxes() {
        std::lock_guard<std::mutex> guard(boxMutex);
        return boxes;
    }
    void Pump() {
        wxTheApp->ProcessPendingEvents();
        while (loop.Pending()) {
            loop.Dispatch();
        }
        wxTheApp->ProcessPendingEvents();
    }
    // Pumps events until condition holds or seconds pass; each turn also calls watch.
    template <class F, class W> bool PumpUntil(F condition, W watch, double seconds = 30) {
        const auto patience = std::chrono::duration<double>(seconds);
        return WaitUntil(
            [&] {
                Pump();
                watch();
                return condition();
            },
            std::chrono::duration_cast<std::chrono::milliseconds>(patience));
    }
    template <class F> bool PumpUntil(F condition, double seconds = 30) {
        return PumpUntil(
            condition, [] {}, seconds);
    }
    // Runs command, an X client such as xdotool, through the shell while this thread keeps
    // serving the window and any modal box the command waits for; true when it exited with 0.
    // $PPID in the command is this test program, whose windows it looks for.
    bool RunXClient(const std::string& command) {
        ChildProcess client;
        if (!client.Start({"sh", "-c", command})) {
            return false;
        }
        PumpUntil([&] { return client.Wait(std::chrono::milliseconds(0)).ended; }, [] {}, 90);
        return client.Exit().ended && client.Exit().code == 0;
    }
    void Click(wxButton* button) {
        wxCommandEvent click(wxEVT_BUTTON, button->GetId());
        click.SetEventObject(button);
        button->GetEventHandler()->ProcessEvent(click);
    }
    void Key(int code) {
        wxKeyEvent key(wxEVT_CHAR_HOOK);
        key.m_keyCode = code;
        dlg->GetEventHandler()->ProcessEvent(key);
    }
    std::string Status() { return dlg->StatusLine()->GetLabel().utf8_string(); }
    // What the dialog kept of the lists when it ended.
    void ExpectSaved(int comPort, int baud) {
        CProfile saved(dir + "/tovik.ini");
        EXPECT_EQ(saved.GetProfileInt("Tovik", "ComPort", -9), comPort);
        EXPECT_EQ(saved.GetProfileInt("Tovik", "Baud", -9), baud);
    }
    bool InputsEnabled() {
        return dlg->StartButton()->IsEnabled() && dlg->SearchButton()->IsEnabled() &&
               dlg->InterfaceList()->IsEnabled() && dlg->BaudrateList()->IsEnabled() &&
               dlg->PathField()->IsEnabled() && !dlg->StopButton()->IsEnabled();
    }
    std::string File(int records, std::vector<uint8_t>* data = nullptr) {
        std::string path = dir + "/firmware.s19";
        std::ofstream(path) << WithEnd(DataRecords(2, 0x10000, records, 16, data));
        return path;
    }
};

TEST_F(DialogGui, FirstStartWithoutAProfile) {
    Open();
    EXPECT_EQ(dlg->GetTitle(), "Tovik");
    EXPECT_EQ(dlg->PathField()->GetValue(), "");
    EXPECT_EQ(dlg->InterfaceList()->GetValue(), "Com1");
    EXPECT_EQ(dlg->BaudrateList()->GetValue(), "38400");
    EXPECT_EQ(dlg->InterfaceList()->GetCount(), 9u);
    EXPECT_EQ(dlg->BaudrateList()->GetString(0), "AUTO");
    EXPECT_EQ(dlg->ProgressLower(), 1);
    EXPECT_EQ(dlg->ProgressUpper(), 100);
    EXPECT_EQ(Status(), "Status Messages");
    EXPECT_TRUE(InputsEnabled());
    EXPECT_FALSE(dlg->Animation()->IsShown());
    // Nothing is cut off: every control has at least the room its text needs.
    for (wxWindow* c : {static_cast<wxWindow*>(dlg->StartButton()), (wxWindow*)dlg->StopButton(),
                        (wxWindow*)dlg->SearchButton(), (wxWindow*)dlg->InterfaceList(),
                        (wxWindow*)dlg->BaudrateList()}) {
        EXPECT_GE(c->GetSize().x, c->GetBestSize().x) << c->GetLabel();
        EXPECT_TRUE(dlg->GetClientRect().Contains(c->GetRect())) << c->GetLabel();
    }
    // Indexes outside the lists select nothing, and the lists show no text.
    std::ofstream(dir + "/tovik.ini") << "[Tovik]\nComPort=9\nBaud=-1\n";
    Open();
    for (wxComboBox* list : {dlg->InterfaceList(), dlg->BaudrateList()}) {
        EXPECT_EQ(list->GetSelection(), wxNOT_FOUND);
        EXPECT_EQ(list->GetValue(), "");
    }
}

TEST_F(DialogGui, AWholeLoadFromStartToTheCompletionBox) {
    SimOptions options;
    options.eraseMs = 5;
    options.wireBaud = 57600;
    StartDevice(options);
    Open();
    std::vector<uint8_t> data;
    dlg->PathField()->SetValue(File(120, &data));
    dlg->BaudrateList()->SetSelection(2);
    Click(dlg->StartButton());
    EXPECT_EQ(Status(), "Looking for device ... ");
    EXPECT_TRUE(dlg->Animation()->IsPlaying());
    EXPECT_TRUE(dlg->Animation()->IsShown());
    EXPECT_GE(dlg->Animation()->GetSize().x, CSearchAnimation::kWidth);

    ASSERT_TRUE(PumpUntil(
        [&] { return !Boxes().empty() && Status() == "Status Messages" && InputsEnabled(); }));
    EXPECT_EQ(display.statuses,
              (std::vector<std::string>{"Looking for device ... ", "Erasing Cluster",
                                        "Programming ", "Status Messages"}));
    EXPECT_EQ(display.ranges, (std::vector<std::pair<int, int>>{{1, 100}, {1, 7}, {1, 123}}));
    EXPECT_EQ(display.inputsEnabledDuringARun, 0);
    // One step per record read: the header is 0, the end record (the 122nd) 121.
    EXPECT_EQ(display.highestProgrammingPos, 121);
    EXPECT_EQ(dlg->ProgressPos(), 0);
    EXPECT_FALSE(dlg->Animation()->IsShown());
    EXPECT_TRUE(InputsEnabled());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Transmission complete.\nDevice started."}));
    sim::MemoryImage memory = device->Memory();
    const auto& runs = memory.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.begin()->first, 0x10000u);
    EXPECT_EQ(runs.begin()->second, data);
}

// The window's ways to end: the close box keeps the selections (a typed text as the entry it
// names), Enter outside a button ends with OK and keeps nothing. Esc, typed by a person, is in the
// tests that follow.
TEST_F(DialogGui, TheCloseBoxKeepsTheSelectionsAndEnterDoesNot) {
    const struct {
        const char* how;
        std::function<void(DialogGui*)> end;
        int code;
        int comPort; // as saved; -9: not saved
    } cases[] = {
        {"close box", [](DialogGui* t) { t->dlg->Close(); }, wxID_CANCEL, 4},
        {"Enter in the path field",
         [](DialogGui* t) {
             t->dlg->PathField()->SetFocus();
             t->Key(WXK_RETURN);
         },
         wxID_OK, -9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        std::remove((dir + "/tovik.ini").c_str());
        Open();
        dlg->InterfaceList()->SetValue("com5");
        c.end(this);
        EXPECT_FALSE(dlg->IsShown());
        EXPECT_EQ(dlg->GetReturnCode(), c.code);
        EXPECT_TRUE(dlg->WorkerEnded());
        EXPECT_EQ(CProfile(dir + "/tovik.ini").GetProfileInt("Tovik", "ComPort", -9), c.comPort);
    }
}

// Keys typed by a person, through the X server, as a run ends with the completion box answered by
// Return: then Esc must end the dialog and keep the selections. Start lost the focus when it was
// disabled at the run's start; without a focus nothing in the dialog takes a key. (Stop, disabled
// at a run's end, is pressed before an Esc in DuringARunF1ShowsTheHelpAndSpaceThenStops.) ctest
// runs this on a bare X server and under a window manager (with_window_manager.sh).
TEST_F(DialogGui, AfterARunTheKeyboardReachesTheDialog) {
    // Our boxes get a title of their own, so that the search for the box cannot find the dialog.
    struct BoxTitle {
        BoxTitle() { SetApplicationName("tovik-box"); }
        ~BoxTitle() { SetApplicationName("tovik"); }
    } boxTitle;
    SimOptions options;
    options.eraseMs = 1;
    StartDevice(options);
    Open(true);
    dlg->PathField()->SetValue(File(20));
    dlg->BaudrateList()->SetSelection(2);
    Click(dlg->StartButton());
    ASSERT_FALSE(dlg->StartButton()->IsEnabled());
    ASSERT_TRUE(RunXClient(FocusAndType("tovik-box", "Return")));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Transmission complete.\nDevice started."}));
    ASSERT_TRUE(PumpUntil([&] { return Status() == "Status Messages" && InputsEnabled(); }));

    ASSERT_TRUE(RunXClient(FocusAndType("Tovik", "Escape")));
    EXPECT_TRUE(PumpUntil([&] { return !dlg->IsShown(); }));
    EXPECT_TRUE(dlg->WorkerEnded());
    ExpectSaved(0, 2);
}

TEST_F(DialogGui, ClosingDuringProgrammingEndsAfterTheWriteInFlight) {
    SimOptions options;
    options.eraseMs = 1;
    options.wireBaud = 19200; // about 7 s for the whole file
    StartDevice(options);
    Open();
    dlg->PathField()->SetValue(File(800));
    Click(dlg->StartButton());
    ASSERT_TRUE(PumpUntil([&] { return Status() == "Programming " && dlg->ProgressPos() > 20; }));
    // The worker waits at every line until the window has shown it, so it is at most one line
    // past what the window shows now: it finishes that line and the write in flight, and sends
    // nothing more.
    const int shown = dlg->ProgressPos();
    dlg->Close();
    EXPECT_TRUE(dlg->WorkerEnded());
    EXPECT_LE(display.highestProgrammingPos, shown + 1);
    EXPECT_LE(device->Memory().ByteCount(), 16u * (shown + 1));
    EXPECT_FALSE(device->GoAnswered());
}

// Keys typed by a person through the X server while a run goes. Start, pressed with Space, is
// disabled at once and loses the focus; then, whatever phase the run is in, Space must press Stop
// and Esc must end the dialog as the close box does, keeping the selections. (Space during the
// search and the erase, and Esc during an erase, are typed in the tests that follow.)
TEST_F(DialogGui, DuringARunSpaceStopsItAndEscEndsTheDialog) {
    enum class Phase { kSearch, kProgramming };
    const struct {
        Phase phase;
        const char* key;
    } cases[] = {{Phase::kSearch, "Escape"}, {Phase::kProgramming, "space"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        // Each phase made long (tens of seconds), so that the key arrives while it lasts.
        SimOptions options;
        int records = 20;
        std::function<bool()> inPhase;
        switch (c.phase) {
        case Phase::kSearch:
            options.baudOnly = 115200; // the search at 38400 never ends by itself
            inPhase = [&] { return device->BytesReceived() > 20; };
            break;
        case Phase::kProgramming:
            options.eraseMs = 1;
            options.wireBaud = 9600; // some 30 s for the file
            records = 1500;
            inPhase = [&] { return Status() == "Programming " && dlg->ProgressPos() > 2; };
            break;
        }
        StartDevice(options);
        Open();
        dlg->PathField()->SetValue(File(records));
        // The dialog opens with the focus on Start.
        ASSERT_TRUE(RunXClient(FocusAndType("Tovik", "space")));
        ASSERT_TRUE(PumpUntil([&] { return dlg->m_bRun != 0 && inPhase(); }));
        ASSERT_TRUE(RunXClient(FocusAndType("Tovik", c.key)));
        if (std::string(c.key) == "space") {
            EXPECT_TRUE(PumpUntil([&] { return dlg->m_bRun == 0; }));
            EXPECT_EQ(Status(), "Status Messages");
            EXPECT_TRUE(PumpUntil([&] { return InputsEnabled(); }));
            EXPECT_TRUE(dlg->IsShown());
        } else {
            EXPECT_TRUE(PumpUntil([&] { return !dlg->IsShown(); }));
            EXPECT_TRUE(dlg->WorkerEnded());
            ExpectSaved(0, 1);
        }
        EXPECT_FALSE(device->GoAnswered());
        EXPECT_TRUE(Boxes().empty());
    }
}

// Stop pressed during an erase leaves every control disabled until the erase in flight has ended
// (up to 30 s on a real device). Meanwhile the keys typed by a person must still reach the
// dialog: Esc ends it as the close box does, keeping the selections. The erase here never ends by
// itself; the device goes away once the dialog has asked its worker to end, which ends the wait.
TEST_F(DialogGui, AfterStopDuringTheEraseEscStillEndsTheDialog) {
    enum class Press { kSpace, kClick };
    for (Press press : {Press::kSpace, Press::kClick}) {
        SCOPED_TRACE(press == Press::kSpace ? "Stop with Space" : "Stop with a click");
        SimOptions options;
        options.eraseMs = 600000;
        StartDevice(options);
        Open();
        dlg->PathField()->SetValue(File(4));
        ASSERT_TRUE(RunXClient(FocusAndType("Tovik", "space")));
        ASSERT_TRUE(PumpUntil([&] { return Status() == "Erasing Cluster"; }));
        if (press == Press::kSpace) {
            ASSERT_TRUE(RunXClient(FocusAndType("Tovik", "space")));
        } else {
            ASSERT_TRUE(RunXClient(FocusAndClick("Tovik", dlg->StopButton())));
        }
        ASSERT_TRUE(PumpUntil([&] { return dlg->m_bRun == 0; }));
        ASSERT_FALSE(dlg->StartButton()->IsEnabled());
        ASSERT_FALSE(dlg->StopButton()->IsEnabled());

        // Until the join nothing may leave this scope early (no ASSERT): the thread must end.
        std::thread unplug([this] {
            WaitUntil([this] { return !dlg->m_bThreadRun; }, std::chrono::minutes(5));
            device.reset();
        });
        EXPECT_TRUE(RunXClient(FocusAndType("Tovik", "Escape")));
        EXPECT_TRUE(PumpUntil([&] { return !dlg->IsShown(); }));
        if (dlg->IsShown()) {
            dlg->Close(); // the key never arrived; the worker must end for the device to go
        }
        unplug.join();
        EXPECT_TRUE(dlg->WorkerEnded());
        ExpectSaved(0, 1);
    }
}

// Start pressed by a person, with Space or a click of the mouse: F1 must then show the help
// during the run, once its box is answered Space must still press Stop, and with Stop disabled
// at the run's end Esc must still end the dialog, keeping the selections.
TEST_F(DialogGui, DuringARunF1ShowsTheHelpAndSpaceThenStops) {
    for (const bool click : {false, true}) {
        SCOPED_TRACE(click ? "Start clicked" : "Start with Space");
        SimOptions options;
        options.baudOnly = 115200; // the search at 38400 never ends by itself
        StartDevice(options);
        Open();
        dlg->PathField()->SetValue(File(4));
        ASSERT_TRUE(RunXClient(click ? FocusAndClick("Tovik", dlg->StartButton())
                                     : FocusAndType("Tovik", "space")));
        ASSERT_TRUE(PumpUntil([&] { return dlg->m_bRun != 0 && device->BytesReceived() > 20; }));
        // The help box holds this thread in its own loop until the client answers it, so one
        // client presses F1 and answers the box: its window must appear for that.
        ASSERT_TRUE(
            RunXClient(FocusAndType("Tovik", "F1") + " && " + FocusAndType("Help", "Return")));
        EXPECT_EQ(dlg->m_bRun, 1);
        ASSERT_TRUE(RunXClient(FocusAndType("Tovik", "space")));
        EXPECT_TRUE(PumpUntil([&] { return dlg->m_bRun == 0 && InputsEnabled(); }));
        EXPECT_EQ(Status(), "Status Messages");
        EXPECT_FALSE(dlg->Animation()->IsPlaying());
        ASSERT_TRUE(RunXClient(FocusAndType("Tovik", "Escape")));
        EXPECT_TRUE(PumpUntil([&] { return !dlg->IsShown(); }));
        ExpectSaved(0, 1);
    }
}

} // namespace
