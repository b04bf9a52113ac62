// The dialog refuses at Start what the file check refuses, before anything is sent: two images
// joined into one file, lines ended by a CR alone, a count record that finds records missing,
// and a stream that is not text at all, which is not read whole first.

#include "fake_serial_device.h"
#include "loader_test_support.h"
#include "platform/message_box.h"
#include "serial/link_lock.h"
#include "settings/profile.h"
#include "ui/dialog_behaviour.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct QuietView : CDialogView {
    std::string path;
    void ShowStatus(const std::string&) override {}
    void ShowProgressRange(int, int) override {}
    void ShowProgressPos(int) override {}
    void PlayAnimation() override {}
    void StopAnimation() override {}
    void EnableControl(Control, bool) override {}
    void FocusStartIfNothingFocused() override {}
    std::string PathText() override { return path; }
    void SetPathText(const std::string& text) override { path = text; }
    int InterfaceSelection() override { return 0; }
    void SelectInterface(int) override {}
    int BaudrateSelection() override { return 1; }
    void SelectBaudrate(int) override {}
    bool ChooseFile(const std::string&, std::string*) override { return false; }
};

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

class DialogFileRefusal : public ::testing::TestWithParam<Refusal> {
protected:
    FakeDeviceScope fake;
    VirtualClockScope time;
    const ScratchDir scratch;
    std::unique_ptr<CProfile> profile;
    QuietView view;
    std::unique_ptr<CTovikDlgBehaviour> dialog;
    std::vector<std::string> boxes;

    void SetUp() override {
        profile = std::make_unique<CProfile>(scratch / "tovik.ini");
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
};

TEST_P(DialogFileRefusal, AtStartWithItsReasonAndNothingSent) {
    view.path = scratch / "refused.s19";
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
