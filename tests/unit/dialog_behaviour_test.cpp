// What the dialog does with its controls, the run state, the profile and the worker, driven
// without a window: the view is plain fields, this thread plays the window's thread.

#include "app/profile.h"
#include "fake_serial_device.h"
#include "loader/program_file.h"
#include "loader_test_support.h"
#include "platform/message_box.h"
#include "serial/link_lock.h"
#include "ui/dialog_behaviour.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>

namespace {

struct FakeView : CDialogView {
    std::string status = "Status Messages";
    int lower = 0, upper = 0, pos = -1;
    bool playing = false;
    std::map<Control, bool> enabled{{kStart, true}, {kInterface, true}, {kBaudrate, true},
                                    {kPath, true},  {kSearch, true},    {kStop, false}};
    std::string path;
    int interface = -2, baudrate = -2;
    std::vector<std::string> statusHistory;
    std::string chosen; // what the file chooser returns; empty: Cancel
    std::string chooserDirectory;

    void ShowStatus(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void ShowProgressRange(int l, int u) override {
        lower = l;
        upper = u;
    }
    void ShowProgressPos(int p) override { pos = p; }
    void PlayAnimation() override { playing = true; }
    void StopAnimation() override { playing = false; }
    void EnableControl(Control c, bool e) override { enabled[c] = e; }
    std::string PathText() override { return path; }
    void SetPathText(const std::string& t) override { path = t; }
    int InterfaceSelection() override { return interface; }
    void SelectInterface(int i) override { interface = i >= 0 && i < 9 ? i : -1; }
    int BaudrateSelection() override { return baudrate; }
    void SelectBaudrate(int i) override { baudrate = i >= 0 && i < 4 ? i : -1; }
    bool ChooseFile(const std::string& directory, std::string* p) override {
        chooserDirectory = directory;
        *p = chosen;
        return !chosen.empty();
    }
    bool InputsEnabled() {
        return enabled[kStart] && enabled[kInterface] && enabled[kBaudrate] && enabled[kPath] &&
               enabled[kSearch] && !enabled[kStop];
    }
};

struct Dialog : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    std::string dir = ::testing::TempDir() + "tovik_dialog_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::unique_ptr<CProfile> profile;
    FakeView view;
    std::unique_ptr<CTovikDlgBehaviour> dialog;
    std::vector<std::string> boxes;
    std::vector<int> answers; // scripted answers; OK / Cancel when they run out

    void SetUp() override {
        g_blockLimit = 198;
        std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
        profile = std::make_unique<CProfile>(dir + "/tovik.ini");
        AnswerAllRequests(*fake.line);
        SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned type) {
            std::lock_guard<std::recursive_mutex> guard(LinkLock());
            boxes.push_back(text);
            if (!answers.empty()) {
                int a = answers.front();
                answers.erase(answers.begin());
                return a;
            }
            return (type & kMbButtonMask) == kMbRetryCancel ? kIdCancel : kIdOk;
        });
    }
    void TearDown() override {
        dialog.reset();
        SetMessageBoxHook(nullptr);
        g_blockLimit = 198;
    }
    void Open() {
        dialog = std::make_unique<CTovikDlgBehaviour>(&view, profile.get());
        dialog->OnInitDialog();
    }
    std::string WriteFile(const std::string& name, const std::string& text) {
        std::string path = dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    std::string GoodFile(const std::string& name = "good.s19") {
        return WriteFile(name,
                         SRecordLine(0, 0) + DataRecords(2, 0x10000, 30, 16) + SRecordLine(9, 0));
    }
    // Serves the worker's calls until condition holds (bounded in real time).
    template <class F> bool ServeUntil(F condition) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            dialog->UiCalls().Drain();
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    std::vector<std::string> Boxes() {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        return boxes;
    }
};

TEST_F(Dialog, FirstStartWithoutAProfile) {
    Open();
    EXPECT_EQ(view.path, "");
    EXPECT_EQ(view.interface, 0);
    EXPECT_EQ(view.baudrate, 1);
    EXPECT_EQ(view.lower, 1);
    EXPECT_EQ(view.upper, 100);
    EXPECT_TRUE(view.InputsEnabled());
    EXPECT_EQ(dialog->m_bRun, 0);
    EXPECT_EQ(dialog->m_pFile, nullptr);
}

TEST_F(Dialog, AWholeRunFromStartToTheCompletionBox) {
    Open();
    view.path = GoodFile();
    view.baudrate = 2;
    dialog->OnStart();
    EXPECT_EQ(view.status, "Looking for device ... ");
    EXPECT_TRUE(view.playing);
    EXPECT_EQ(view.pos, 0);
    EXPECT_FALSE(view.enabled[CDialogView::kStart]);
    EXPECT_TRUE(view.enabled[CDialogView::kStop]);
    EXPECT_EQ(dialog->m_nBaudIndex, 2);
    EXPECT_EQ(dialog->m_nLineCount, 33);
    ASSERT_TRUE(ServeUntil([this] { return dialog->m_bRun == 0; }));
    EXPECT_EQ(view.statusHistory,
              (std::vector<std::string>{"Looking for device ... ", "Erasing Cluster",
                                        "Programming ", "Status Messages"}));
    EXPECT_EQ(view.lower, 1);
    EXPECT_EQ(view.upper, 33);
    EXPECT_EQ(view.pos, 0);
    EXPECT_FALSE(view.playing);
    EXPECT_TRUE(view.InputsEnabled());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Transmission complete.\nDevice started."}));
}

TEST_F(Dialog, AHeldFileIsUsedAgainAndATypedPathIgnored) {
    Open();
    view.path = GoodFile();
    dialog->OnStart();
    FILE* held = dialog->m_pFile;
    ASSERT_TRUE(ServeUntil([this] {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        return !fake.line->calls.empty();
    }));
    dialog->OnStop();
    EXPECT_EQ(view.status, "Status Messages");
    EXPECT_TRUE(view.InputsEnabled());
    ASSERT_TRUE(ServeUntil([this] {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        return !fake.line->calls.empty() && fake.line->calls.back() == "close";
    }));
    view.path = dir + "/does-not-exist.s19";
    dialog->OnStart();
    EXPECT_EQ(dialog->m_pFile, held);
    EXPECT_TRUE(Boxes().empty());
    ASSERT_TRUE(ServeUntil([this] { return dialog->m_bRun == 0; }));
}

TEST_F(Dialog, FilesThatCannotBeUsedStartNoRun) {
    Open();
    view.path = dir + "/missing.s19";
    dialog->OnStart();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Sorry wrong filename given !"}));
    EXPECT_EQ(dialog->m_bRun, 0);
    EXPECT_TRUE(view.InputsEnabled());

    // A file with a bad line is refused before anything is sent, and let go.
    std::string text = SRecordLine(0, 0) + DataRecords(2, 0x10000, 3, 16) + SRecordLine(9, 0);
    text[text.find('\n', text.find('\n') + 1) - 1] ^= 1; // line 2's checksum
    view.path = WriteFile("bad.s19", text);
    dialog->OnStart();
    EXPECT_EQ(Boxes().back(), "Sorry, line 2 of the file has a wrong checksum !");
    EXPECT_EQ(dialog->m_bRun, 0);
    EXPECT_EQ(dialog->m_pFile, nullptr);
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    EXPECT_TRUE(fake.line->written.empty());
}

TEST_F(Dialog, SearchKeepsTheFileAndThePath) {
    std::string first = GoodFile("first.s19");
    view.chosen = first;
    Open();
    dialog->OnSearch();
    EXPECT_EQ(view.path, first);
    EXPECT_EQ(profile->GetProfileString("Tovik", "Openpath", ""), first);
    FILE* held = dialog->m_pFile;
    ASSERT_NE(held, nullptr);

    // Cancel in the chooser changes nothing; the chooser starts where the last file was.
    view.chosen.clear();
    dialog->OnSearch();
    EXPECT_EQ(view.chooserDirectory, dir);
    EXPECT_EQ(dialog->m_pFile, held);

    // A chosen file that cannot be opened: message, no file, the path field keeps its text.
    view.chosen = dir + "/vanished.s19";
    dialog->OnSearch();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Sorry I was not able to open that file !"}));
    EXPECT_EQ(dialog->m_pFile, nullptr);
    EXPECT_EQ(dialog->m_nLineCount, 0);
    EXPECT_EQ(view.path, first);
    EXPECT_EQ(profile->GetProfileString("Tovik", "Openpath", ""), first);
}

TEST_F(Dialog, EscWritesTheSelectionsAndEnterDoesNot) {
    profile->WriteProfileInt("Tovik", "ComPort", 3);
    profile->WriteProfileInt("Tovik", "Baud", 0);
    Open();
    EXPECT_EQ(view.interface, 3);
    EXPECT_EQ(view.baudrate, 0);
    view.interface = 5;
    view.baudrate = -1;
    dialog->OnOK();
    EXPECT_TRUE(dialog->WorkerEnded());
    EXPECT_EQ(CProfile(dir + "/tovik.ini").GetProfileInt("Tovik", "ComPort", 99), 3);

    Open();
    view.interface = 5;
    view.baudrate = -1;
    dialog->OnCancel();
    EXPECT_TRUE(dialog->WorkerEnded());
    CProfile stored(dir + "/tovik.ini");
    EXPECT_EQ(stored.GetProfileInt("Tovik", "ComPort", 99), 5);
    EXPECT_EQ(stored.GetProfileInt("Tovik", "Baud", 99), -1);
}

TEST_F(Dialog, ClosingDuringProgrammingEndsPromptly) {
    // A slow device: every reply takes 150 ms of (virtual) time, so a pass is long.
    FakeLine* line = fake.line.get();
    fake.line->onFrame = [line](const std::vector<uint8_t>& wire) {
        std::vector<uint8_t> payload = PayloadOf(wire);
        line->Deliver(DeviceReply(wire[2], ":" + std::string(1, char(payload[1])) + "OK"),
                      NowMs() + 150);
    };
    Open();
    view.path = WriteFile("long.s19", SRecordLine(0, 0) + DataRecords(2, 0x10000, 2000, 16) +
                                          SRecordLine(9, 0));
    dialog->OnStart();
    ASSERT_TRUE(ServeUntil([this] { return view.status == "Programming " && view.pos > 20; }));
    int written = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        written = static_cast<int>(fake.line->written.size());
    }
    dialog->OnClose();
    EXPECT_TRUE(dialog->WorkerEnded());
    std::lock_guard<std::recursive_mutex> guard(LinkLock());
    // At most the write in flight finished; the rest of the file was not sent.
    EXPECT_LT(fake.line->written.size(), static_cast<size_t>(written) + 10 * 240);
    EXPECT_EQ(CProfile(dir + "/tovik.ini").GetProfileInt("Tovik", "ComPort", 99), 0);
}

TEST_F(Dialog, Com9ShowsThePortMessageAndSearchesOnAfterCancel) {
    Open();
    view.path = GoodFile();
    view.interface = 8;
    dialog->OnStart();
    ASSERT_TRUE(ServeUntil([this] { return !Boxes().empty(); }));
    EXPECT_EQ(Boxes()[0], "Schnittstelle \"COM9\" von Windos belegt oder nicht vorhanden!");
    // Without a port every probe times out; the run goes on until Stop.
    int before = NowMs();
    ASSERT_TRUE(ServeUntil([&] { return NowMs() - before > 1000; }));
    EXPECT_EQ(dialog->m_bRun, 1);
    EXPECT_EQ(view.status, "Looking for device ... ");
    dialog->OnStop();
    EXPECT_EQ(dialog->m_bRun, 0);
}

} // namespace
