// The rules that span lines, which the file check and the programming pass must apply alike:
// count records, headers longer than one read, lines that end in a CR alone, data behind the end
// record; and the screen that lets a read stop at the first line the check is sure to refuse.

#include "loader/checked_copy.h"
#include "loader/file_check.h"
#include "loader/program_file.h"
#include "loader/record_count.h"
#include "loader/srecord_reader.h"

#include "loader_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Blocks = std::vector<std::pair<uint32_t, int>>;

std::string WithEnd(const std::string& records) {
    return SRecordLine(0, 0, {'h', 'd', 'r'}) + records + SRecordLine(9, 0);
}

std::string Replaced(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// What the programming pass writes, without a device.
class BlockPanel : public RecordingPanel {
public:
    BlockPanel() {
        BeginRun(nullptr, 1, 0, 1); // no worker: the pass runs on the test's thread
        m_onBlock = [this](uint32_t address, int length) { blocks.emplace_back(address, length); };
    }
    Blocks blocks;
};

// Lines 1 to 5 and 6 to 9: two images, each with a header and an end record.
const std::string kFirst = WithEnd(DataRecords(2, 0x10000, 3, 16));
const std::string kSecond = WithEnd(DataRecords(2, 0x20000, 2, 16));
const std::string kHeaderPath =
    SRecordLine(0, 0, std::vector<uint8_t>(120, 'p')).substr(0, 4) + std::string(300, 'p') + "\n";

struct RuleCase {
    const char* name;
    std::string text;
    int result;
    int line;
    std::string message;
    friend void PrintTo(const RuleCase& c, std::ostream* out) { *out << c.name; }
};

const std::string kJoined = "Sorry, line 7 of the file holds data after the end record on line 5: "
                            "two images were joined by mistake, and the second would not be "
                            "loaded ! Join them with one end record at the end, e.g. srec_cat "
                            "first.s19 second.s19 -o both.s19";
const std::string kCrOnly = "of the file holds several records: the lines of the file end in a "
                            "CR alone ! Convert them to line feeds first, e.g. tr '\\r' '\\n' < "
                            "old.s19 > new.s19";

const RuleCase kRuleCases[] = {
    // A second image behind the first is refused, also when its record is broken.
    {"JoinedImages", kFirst + kSecond, kCheckDataAfterEnd, 7, kJoined},
    {"JoinedBrokenRecord", kFirst + kSecond.substr(0, kSecond.find('\n') + 30) + "\n",
     kCheckDataAfterEnd, 7, kJoined},
    // What carries no data behind the end stays ignored: a header, a count, an empty record,
    // padding, text.
    {"NoDataAfterTheEnd",
     kFirst + SRecordLine(0, 0, {'x'}) + "S5030003F9\n" + SRecordLine(1, 0x100) +
         std::string(40, '\0') + "\n\nS1 the rest\n",
     0, 0, ""},
    // Lines ended by CR alone, with and without a header, short and long, with a last LF.
    {"CrOnlyShort", Replaced(kFirst, '\n', '\r'), kCheckCrLineEnds, 1, "Sorry, line 1 " + kCrOnly},
    {"CrOnlyNoHeader", Replaced(DataRecords(1, 0x100, 2, 16) + SRecordLine(9, 0), '\n', '\r'),
     kCheckCrLineEnds, 1, "Sorry, line 1 " + kCrOnly},
    {"CrOnlyLong", Replaced(WithEnd(DataRecords(2, 0x10000, 30, 16)), '\n', '\r'), kCheckCrLineEnds,
     1, "Sorry, line 1 " + kCrOnly},
    {"CrOnlyLastLineFeed", Replaced(kFirst, '\n', '\r') + "\n", kCheckCrLineEnds, 1,
     "Sorry, line 1 " + kCrOnly},
    {"CrOnlyAfterGoodLines", DataRecords(1, 0x100, 2, 16) + Replaced(kFirst, '\n', '\r'),
     kCheckCrLineEnds, 3, "Sorry, line 3 " + kCrOnly},
    // A header longer than one read (a build's path) is passed over; data lines keep the limit.
    {"LongHeader", kHeaderPath + DataRecords(2, 0x10000, 3, 16) + SRecordLine(9, 0), 0, 0, ""},
    {"HeaderOfOneReadAndItsLineEnd",
     "S0" + std::string(252, 'f') + "\n" + DataRecords(1, 0x100, 2, 16) + SRecordLine(9, 0), 0, 0,
     ""},
    // Count records: right counts pass, wherever they stand; a wrong one means lost records.
    {"CountRight", WithEnd(DataRecords(2, 0x10000, 3, 16) + "S5030003F9\n"), 0, 0, ""},
    {"CountRightS6", WithEnd(DataRecords(2, 0x10000, 3, 16) + "S604000003F8\n"), 0, 0, ""},
    {"CountInTheMiddle",
     WithEnd(DataRecords(2, 0x10000, 2, 16) + "S5030002FA\n" + DataRecords(2, 0x10020, 1, 16) +
             "S5030003F9\n"),
     0, 0, ""},
    {"CountWithAnEmptyRecord",
     WithEnd(SRecordLine(1, 0x100) + DataRecords(2, 0x10000, 2, 16) + "S5030003F9\n"), 0, 0, ""},
    {"CountWrong", WithEnd(DataRecords(2, 0x10000, 3, 16) + "S5030002FA\n"), kRecordCountWrong, 5,
     "Sorry, line 5 of the file counts 2 data records before it, but 3 are there: records were "
     "lost !"},
};

class FileCheckRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(FileCheckRules, TheCheckAndThePassReadAlike) {
    const RuleCase& c = GetParam();
    g_blockLimit = kFirstBlockLimit;
    CFileCheck check;
    Blocks listed;
    CheckSRecordText(c.text.data(), c.text.size(), &check,
                     [&](uint32_t address, int length) { listed.emplace_back(address, length); });
    EXPECT_EQ(check.result, c.result);
    EXPECT_EQ(check.line, c.line);
    EXPECT_EQ(FileCheckMessage(check), c.message);
    EXPECT_EQ(check.lineCount, 1 + std::count(c.text.begin(), c.text.end(), '\n'));

    BlockPanel panel;
    File file = FileWith(c.text);
    const int pass = ProgramFile(UpdateProgress, &panel, file.get(), nullptr, 0);
    if (c.result == 0 || c.result == kRecordCountWrong) {
        EXPECT_EQ(pass, c.result);
        EXPECT_EQ(panel.blocks, listed);
    }
    if (c.result == 0) {
        EXPECT_FALSE(listed.empty());
        // One progress step per line read, the header's whole line being one.
        EXPECT_EQ(panel.EventsOf("pos ").size(), static_cast<size_t>(check.lines));
    }
    g_blockLimit = kFirstBlockLimit;
}

INSTANTIATE_TEST_SUITE_P(Texts, FileCheckRules, ::testing::ValuesIn(kRuleCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileCheckRules, FollowingTheAdviceForCrLineEndsMakesAFileThatLoads) {
    const std::string mended = Replaced(Replaced(kFirst, '\n', '\r'), '\r', '\n');
    CFileCheck check;
    EXPECT_EQ(CheckSRecordText(mended.data(), mended.size(), &check), 0);
    EXPECT_EQ(check.dataBytes, 48u);
}

// Feeds text to a screen in pieces of `step` bytes, as a read does; the size at which it stopped
// the read, or 0.
size_t ScreenedSize(const std::string& text, size_t step) {
    CSRecordScreen screen;
    for (size_t size = std::min(step, text.size());; size = std::min(size + step, text.size())) {
        if (!screen.MayPass(text.data(), size)) {
            return size;
        }
        if (size == text.size()) {
            return 0;
        }
    }
}

TEST(SRecordScreen, StopsOnlyWhereTheCheckOfWhatWasReadRefusesItAsTheWholeWouldBe) {
    std::mt19937 random(7);
    std::string binary(300000, '\0');
    std::generate(binary.begin(), binary.end(), [&] { return static_cast<char>(random()); });
    const std::string good = kHeaderPath + DataRecords(3, 0x10000, 200, 32);
    const std::string hexLine = "S113" + std::string(40000, 'A') + "\n";
    const std::pair<std::string, bool> texts[] = {
        // Files that pass, or fail only at their end: never stopped.
        {good + SRecordLine(9, 0), false},
        {good + SRecordLine(9, 0) + std::string(100000, '\0'), false},
        {good, false},
        {kFirst + kSecond, false},
        // A record filling a whole read, and an end record behind it on the same line.
        {DataRecords(1, 0x100, 1, 122).substr(0, 254) + "S9030000FC\n", false},
        // Files that cannot pass, stopped at their bad line.
        {std::string(200000, '\0'), true},
        {binary, true},
        {good + "garbage\n" + good, true},
        {good + hexLine + good, true},
        {good + "S1" + std::string(100000, 'S') + "\n", true},
        {good + std::string(100000, '\0'), true},
    };
    for (const auto& [text, stops] : texts) {
        CFileCheck whole;
        CheckSRecordText(text.data(), text.size(), &whole);
        for (size_t step : {1000u, 4096u, 65536u}) {
            const size_t size = ScreenedSize(text, step);
            EXPECT_EQ(size != 0, stops) << text.substr(0, 40) << " in steps of " << step;
            if (size == 0) {
                continue;
            }
            ASSERT_NE(whole.result, 0);
            CFileCheck part;
            CheckSRecordText(text.data(), size, &part);
            part.cut = true;
            EXPECT_EQ(part.result, whole.result);
            EXPECT_EQ(part.line, whole.line);
            std::string message = FileCheckMessage(whole);
            if (part.lineUnended && part.lineLength != whole.lineLength) {
                message = FileCheckMessage(part);
                EXPECT_GT(whole.lineLength, part.lineLength);
                EXPECT_GT(part.lineLength, static_cast<int>(CSRecordScreen::kScreenLineWait));
                EXPECT_NE(message.find("is too long: more than "), std::string::npos);
            }
            EXPECT_EQ(FileCheckMessage(part), message);
            // Not much further than the line that stopped it, or the wait for its end.
            size_t lineStart = 0;
            for (int line = 1; line < whole.line; ++line) {
                lineStart = text.find('\n', lineStart) + 1;
            }
            const size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
            EXPECT_LE(size, std::min(lineEnd + 1, lineStart + CSRecordScreen::kScreenLineWait + 1) +
                                step);
        }
    }
}

TEST(ReadCheckedStream, AStreamOfZerosIsRefusedAtItsFirstPieceNotReadWhole) {
    const std::pair<std::string, std::string> files[] = {
        {std::string(8 << 20, '\0'), "Sorry, line 1 of the file is not an S-record !"},
        {kFirst.substr(0, kFirst.size() - 11) + "S1" + std::string(8 << 20, '0') + "\n",
         "Sorry, line 5 of the file is too long: more than "},
    };
    for (const auto& [text, message] : files) {
        File file = FileWith(text);
        CFileCopy copy;
        CFileCheck check;
        std::string told;
        EXPECT_NE(ReadCheckedStream(file.get(), "zeros", &copy, &check, &told), 0);
        EXPECT_EQ(told.substr(0, message.size()), message);
        EXPECT_LE(copy.Size(), 2 * CFileCopy::kCopyPiece) << "read far beyond the bad line";
    }
    // What passes is read whole.
    const std::string padded = kFirst + std::string(3 << 20, '\0');
    File file = FileWith(padded);
    CFileCopy copy;
    CFileCheck check;
    std::string told;
    EXPECT_EQ(ReadCheckedStream(file.get(), "padded", &copy, &check, &told), 0) << told;
    EXPECT_EQ(copy.Size(), padded.size());
}

} // namespace
