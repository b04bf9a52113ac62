// The real dialog under a virtual X server: its controls through a whole load into the virtual
// device, and every way of ending it.

#include "loader/program_file.h"
#include "platform/com_map.h"
#include "platform/message_box.h"
#include "res/search_animation.h"
#include "settings/profile.h"
#include "sim/virtual_device.h"
#include "tests/unit/loader_test_support.h"
#include "ui/wx/tovik_dlg.h"

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
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

struct DialogGui : ::testing::Test {
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    wxGUIEventLoop loop;
    std::unique_ptr<wxEventLoopActivator> active;
    std::unique_ptr<VirtualDevice> device;
    std::unique_ptr<CProfile> profile;
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
    void Open() {
        profile = std::make_unique<CProfile>(dir + "/tovik.ini");
        LoadComMapFromProfile(*profile);
        dlg = std::make_unique<CTovikDlg>(nullptr, profile.get());
        dlg->Show();
        dlg->InitDialog();
        // The test answers every box: OK, or Cancel where it is offered.
        SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned type) {
            std::lock_guard<std::mutex> guard(boxMutex);
            boxes.push_back(text);
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
    bool InputsEnabled() {
        return dlg->StartButton()->IsEnabled() && dlg->SearchButton()->IsEnabled() &&
               dlg->InterfaceList()->IsEnabled() && dlg->BaudrateList()->IsEnabled() &&
               dlg->PathField()->IsEnabled() && !dlg->StopButton()->IsEnabled();
    }
    bool InputsDisabled() {
        return !dlg->StartButton()->IsEnabled() && !dlg->SearchButton()->IsEnabled() &&
               !dlg->InterfaceList()->IsEnabled() && !dlg->BaudrateList()->IsEnabled() &&
               !dlg->PathField()->IsEnabled() && dlg->StopButton()->IsEnabled();
    }
    std::string File(int records, std::vector<uint8_t>* data = nullptr) {
        std::string path = dir + "/firmware.s19";
        std::ofstream(path) << SRecordLine(0, 0) << DataRecords(2, 0x10000, records, 16, data)
                            << SRecordLine(9, 0);
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

    std::vector<std::string> statuses{Status()};
    std::vector<std::pair<int, int>> ranges;
    bool disabledThroughout = true;
    int highestProgramming = 0;
    ASSERT_TRUE(PumpUntil(
        [&] { return !Boxes().empty() && Status() == "Status Messages" && InputsEnabled(); },
        [&] {
            if (Status() != statuses.back()) {
                statuses.push_back(Status());
            }
            std::pair<int, int> range{dlg->ProgressLower(), dlg->ProgressUpper()};
            if (ranges.empty() || ranges.back() != range) {
                ranges.push_back(range);
            }
            if (Status() != "Status Messages") {
                disabledThroughout = disabledThroughout && InputsDisabled();
            }
            if (Status() == "Programming ") {
                EXPECT_FALSE(dlg->Animation()->IsShown());
                highestProgramming = std::max(highestProgramming, dlg->ProgressPos());
            }
        }));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Looking for device ... ", "Erasing Cluster",
                                                  "Programming ", "Status Messages"}));
    EXPECT_EQ(ranges, (std::vector<std::pair<int, int>>{{1, 100}, {1, 7}, {1, 123}}));
    EXPECT_TRUE(disabledThroughout);
    EXPECT_GT(highestProgramming, 100);
    EXPECT_EQ(dlg->ProgressPos(), 0);
    EXPECT_TRUE(InputsEnabled());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Transmission complete.\nDevice started."}));
    sim::MemoryImage memory = device->Memory();
    const auto& runs = memory.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.begin()->first, 0x10000u);
    EXPECT_EQ(runs.begin()->second, data);
}

TEST_F(DialogGui, StopDuringTheSearch) {
    SimOptions options;
    options.baudOnly = 115200; // never answers at 38400
    StartDevice(options);
    Open();
    dlg->PathField()->SetValue(File(4));
    Click(dlg->StartButton());
    ASSERT_TRUE(PumpUntil([&] { return device->BytesReceived() > 20; }));
    Click(dlg->StopButton());
    EXPECT_EQ(Status(), "Status Messages");
    EXPECT_FALSE(dlg->StopButton()->IsEnabled());
    EXPECT_FALSE(dlg->Animation()->IsPlaying());
    EXPECT_EQ(dlg->m_bRun, 0);
    // The inputs come back once the probe in flight has ended and the port is let go.
    ASSERT_TRUE(PumpUntil([&] { return InputsEnabled(); }, [] {}, 2));
    // The typed path is ignored while the file opened at the first Start is held.
    dlg->PathField()->SetValue(dir + "/no-such-file.s19");
    Click(dlg->StartButton());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(dlg->m_bRun, 1);
    Click(dlg->StopButton());
}

TEST_F(DialogGui, APathThatDoesNotExist) {
    Open();
    dlg->PathField()->SetValue(dir + "/no-such-file.s19");
    Click(dlg->StartButton());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Sorry wrong filename given !"}));
    EXPECT_EQ(Status(), "Status Messages");
    EXPECT_TRUE(InputsEnabled());
}

TEST_F(DialogGui, Com9ShowsThePortMessageAndSearchesUntilStop) {
    Open();
    dlg->PathField()->SetValue(File(4));
    dlg->InterfaceList()->SetSelection(8);
    Click(dlg->StartButton());
    ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
    EXPECT_EQ(Boxes()[0], "Schnittstelle \"COM9\" von Windos belegt oder nicht vorhanden!");
    // After Cancel the worker keeps searching, without a port, until Stop.
    PumpUntil([] { return false; }, 0.5);
    EXPECT_EQ(Status(), "Looking for device ... ");
    EXPECT_EQ(dlg->m_bRun, 1);
    Click(dlg->StopButton());
    EXPECT_EQ(Status(), "Status Messages");
}

TEST_F(DialogGui, EscAndTheCloseBoxKeepTheSelectionsAndEnterDoesNot) {
    Open();
    dlg->InterfaceList()->SetSelection(4);
    dlg->BaudrateList()->SetSelection(0);
    Key(WXK_ESCAPE);
    EXPECT_FALSE(dlg->IsShown());
    EXPECT_TRUE(dlg->WorkerEnded());
    EXPECT_EQ(CProfile(dir + "/tovik.ini").GetProfileInt("Tovik", "ComPort", -9), 4);
    EXPECT_EQ(CProfile(dir + "/tovik.ini").GetProfileInt("Tovik", "Baud", -9), 0);

    Open();
    EXPECT_EQ(dlg->InterfaceList()->GetValue(), "Com5");
    dlg->InterfaceList()->SetSelection(6);
    dlg->BaudrateList()->SetSelection(3);
    dlg->PathField()->SetFocus();
    Key(WXK_RETURN);
    EXPECT_FALSE(dlg->IsShown());
    EXPECT_EQ(dlg->GetReturnCode(), wxID_OK);
    EXPECT_TRUE(dlg->WorkerEnded());
    EXPECT_EQ(CProfile(dir + "/tovik.ini").GetProfileInt("Tovik", "ComPort", -9), 4);

    Open();
    dlg->BaudrateList()->SetSelection(2);
    auto start = Clock::now();
    dlg->Close();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(dlg->IsShown());
    EXPECT_EQ(CProfile(dir + "/tovik.ini").GetProfileInt("Tovik", "Baud", -9), 2);
}

TEST_F(DialogGui, ClosingDuringProgrammingEndsPromptly) {
    SimOptions options;
    options.eraseMs = 1;
    options.wireBaud = 19200; // about 7 s for the whole file
    StartDevice(options);
    Open();
    dlg->PathField()->SetValue(File(800));
    Click(dlg->StartButton());
    ASSERT_TRUE(PumpUntil([&] { return Status() == "Programming " && dlg->ProgressPos() > 20; }));
    auto start = Clock::now();
    dlg->Close();
    // The write in flight finishes (about 0.12 s on this line); the rest is not sent.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(dlg->WorkerEnded());
    EXPECT_FALSE(device->GoAnswered());
    EXPECT_LT(device->Memory().ByteCount(), 800u * 16);
}

} // namespace
