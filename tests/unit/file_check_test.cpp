// The whole-file check run before a load: files made by a standard tool pass with their real
// figures; every kind of broken line is refused with its number; what a run loads although it is
// most likely a mistake is warned of. The rules that span lines (count records, long headers,
// CR line ends, data behind the end record) and the blocks of a dry run, which the check and the
// programming pass must apply alike; and the screen that lets a read stop at the first line the
// check is sure to refuse.

#include "loader/checked_copy.h"
#include "loader/file_check.h"
#include "loader/program_file.h"
#include "loader/record_count.h"
#include "loader/srecord_reader.h"

#include "loader_test_support.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Blocks = std::vector<std::pair<uint32_t, int>>;

CFileCheck Check(const std::string& text, Blocks* blocks = nullptr) {
    CFileCheck check;
    CheckSRecordText(text.data(), text.size(), &check, [&](uint32_t address, int length) {
        if (blocks) {
            blocks->emplace_back(address, length);
        }
    });
    return check;
}

// The lines of the S-record file objcopy makes from `size` bytes placed at `base` (S1, S2 or S3
// records, whichever the highest address needs), `recordLength` data bytes a line; none when
// objcopy is not there.
std::vector<std::string> ObjcopyLines(const ScratchDir& dir, size_t size, uint32_t base,
                                      int recordLength = 16) {
    const std::string stem = dir / (std::to_string(size) + "-" + std::to_string(recordLength));
    std::string bytes(size, '\0');
    std::iota(bytes.begin(), bytes.end(), '\x07');
    std::ofstream(stem + ".bin", std::ios::binary) << bytes;
    const std::string command =
        "objcopy -I binary -O srec --srec-len=" + std::to_string(recordLength) +
        " --change-addresses " + std::to_string(base) + " " + stem + ".bin " + stem + ".srec";
    std::vector<std::string> lines;
    std::ifstream records(std::system(command.c_str()) == 0 ? stem + ".srec" : "");
    for (std::string line; std::getline(records, line);) {
        lines.push_back(line + "\n");
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

TEST(FileCheck, ObjcopyFilesPassWithTheirFigures) {
    // Size, address of the first byte, data records from the top down.
    const std::tuple<size_t, uint32_t, bool> cases[] = {
        {1, 0, false}, {5000, 0, false}, {777, 0x1F000, true}, {4096, 0xFFFFF000, false}};
    const ScratchDir dir;
    for (const auto& [size, base, reversed] : cases) {
        std::vector<std::string> good = ObjcopyLines(dir, size, base);
        if (good.empty()) {
            GTEST_SKIP() << "objcopy is not available";
        }
        if (reversed) {
            std::reverse(good.begin() + 1, good.end() - 1);
        }
        // A line end less at the end of the file is one line less for the progress range.
        for (const std::string& text :
             {Joined(good), Joined(good).substr(0, Joined(good).size() - 1)}) {
            const CFileCheck check = Check(text);
            EXPECT_EQ(check.result, 0) << size;
            EXPECT_EQ(check.lines, static_cast<int>(good.size()));
            EXPECT_EQ(check.lineCount, 1 + std::count(text.begin(), text.end(), '\n'));
            EXPECT_EQ(check.dataBytes, size);
            EXPECT_EQ(check.dataRecords, check.lines - 2)
                << "a header and an end record around them";
            EXPECT_EQ(check.lowestAddress, base);
            EXPECT_EQ(check.highestAddress, base + size - 1);
            EXPECT_TRUE(check.warnings.empty());
        }
    }
}

TEST(FileCheck, AFaultIsRefusedWithItsLine) {
    const ScratchDir dir;
    const std::vector<std::string> good = ObjcopyLines(dir, 4096, 0xFFFFF000);
    const std::vector<std::string> wide = ObjcopyLines(dir, 300, 0x20000, 128);
    if (good.empty() || wide.empty()) {
        GTEST_SKIP() << "objcopy is not available";
    }
    const std::string text = Joined(good);
    // A data record in the middle, broken in each of its fields.
    const int n = static_cast<int>(good.size() / 2);
    const size_t start = text.find(good[n]);
    const auto spoil = [&](size_t i, char c) { return std::string(text).replace(i, 1, 1, c); };
    // objcopy ends its lines with "\r\n": the checksum ends at the last hexadecimal digit.
    const size_t sum = start + good[n].find_last_of("0123456789ABCDEF");
    const std::string at = "Sorry, line " + std::to_string(n + 1) + " of the file ";
    const std::string noEnd = "Sorry, the file ends without an end record !";
    const std::string noData = "File contains no data !";
    const std::string tooLong = "characters with its line end, and the loader reads lines of up "
                                "to 254 ! Records of 16 to 64 data bytes are what it reads: "
                                "rewrite the file with 32 data bytes a line, e.g. srec_cat "
                                "old.s19 -o new.s19 -obs=32 -execution-start-address=0";
    const auto longAt = [&](int line, int length) {
        return "Sorry, line " + std::to_string(line) +
               " of the file is too long: " + std::to_string(length) + " " + tooLong;
    };
    // A record of 122 data bytes is 254 characters: its line end is the 255th.
    const std::string longest = DataRecords(1, 0x100, 1, 122);
    const std::string fits = DataRecords(1, 0x100, 1, 121);
    const std::string top = SRecordLine(3, 0xFFFFFFF8, std::vector<uint8_t>(9, 0x55));
    const std::tuple<std::string, int, int, std::string> broken[] = {
        {spoil(sum, text[sum] == '0' ? '1' : '0'), 2, n + 1, at + "has a wrong checksum !"},
        {spoil(start + 5, 'G'), 1, n + 1, at + "has a bad address !"},
        {spoil(start, 's'), 4, n + 1, at + "is not an S-record !"},
        {spoil(start + 1, '4'), 5, n + 1, at + "has an unsupported record type !"},
        {spoil(start + 2, '-'), 6, n + 1, at + "has a bad byte count !"},
        {spoil(start + 20, ' '), 7, n + 1, at + "has bad data !"},
        // Without its end record the file runs out, with or without a last line end.
        {text.substr(0, text.rfind('S')), kRecordNoLine, static_cast<int>(good.size()), noEnd},
        {text.substr(0, text.rfind('S') - 2), kRecordNoLine, static_cast<int>(good.size()), noEnd},
        {"", kRecordNoLine, 1, noEnd},
        // Also when the last line is two whole records without a line end between them.
        {SRecordLine(0, 0) + longest.substr(0, 254) + longest.substr(0, 254), kRecordNoLine, 3,
         noEnd},
        // Nothing to program: a header and an end record, perhaps a data record without data.
        {good.front() + good.back(), kCheckNoData, 2, noData},
        {WithEnd(SRecordLine(1, 0x100)), kCheckNoData, 3, noData},
        // The highest address is 0xFFFFFFFF; a record may end there, not beyond.
        {WithEnd(SRecordLine(3, 0xFFFFFFF7, std::vector<uint8_t>(9, 0x55)) + top), kCheckBeyondTop,
         3, "Sorry, line 3 of the file has data beyond the address 0xFFFFFFFF !"},
        // Lines the reader cannot read whole, whatever their record: 128 data bytes a record from
        // objcopy; 122, whose line end is read as a line of its own; one that fits, padded.
        {Joined(wide), kCheckLineTooLong, 2, longAt(2, static_cast<int>(wide[1].size()))},
        {WithEnd(fits + longest), kCheckLineTooLong, 3, longAt(3, 255)},
        {WithEnd(fits.substr(0, fits.size() - 1) + std::string(40, ' ') + "\n"), kCheckLineTooLong,
         2, longAt(2, 293)},
    };
    for (const auto& [content, result, line, message] : broken) {
        const CFileCheck check = Check(content);
        EXPECT_EQ(check.result, result) << message;
        EXPECT_EQ(check.line, line) << message;
        EXPECT_EQ(FileCheckMessage(check), message);
    }
    // Just within the limits: the longest line that fits, a record ending at 0xFFFFFFFF.
    EXPECT_EQ(
        Check(WithEnd(fits + SRecordLine(3, 0xFFFFFFF7, std::vector<uint8_t>(9, 0x55)))).result, 0);
}

TEST(FileCheck, WarnsOfWhatARunLoadsThoughItIsMostLikelyAMistake) {
    const std::vector<uint8_t> bytes(16, 0xA5);
    const std::string lines[] = {
        SRecordLine(1, 0x100, bytes),                           // line 2
        SRecordLine(1, 0x108, bytes),                           // 3: 0x108 to 0x10F again
        SRecordLine(1, 0x200, bytes),                           // 4
        SRecordLine(1, 0x0F8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), // 5: 0x100 and 0x101 again
        SRecordLine(1, 0x118, bytes),                           // 6: follows on
    };
    const std::string overlaps = WithEnd(lines[0] + lines[1] + lines[2] + lines[3] + lines[4]) +
                                 SRecordLine(0, 0, std::vector<uint8_t>(32, 1)); // after the end
    CFileCheck check = Check(overlaps);
    EXPECT_EQ(check.result, 0);
    std::vector<std::string> texts;
    for (const CFileWarning& w : check.warnings) {
        texts.push_back(FileWarningText(w));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Warning: line 3 of the file gives data for 0x00000108 to 0x0000010F, "
                         "which an earlier line gave already; both are written",
                         "Warning: line 5 of the file gives data for 0x00000100 to 0x00000101, "
                         "which an earlier line gave already; both are written",
                         "Warning: line 8 of the file follows the end record and is not loaded"}));
    EXPECT_EQ(check.overlapLines, 2);

    // A record over two earlier ranges and the gap between them names the lowest and the highest
    // address given again.
    check = Check(WithEnd(lines[0] + SRecordLine(1, 0x140, bytes) +
                          SRecordLine(1, 0x10C, std::vector<uint8_t>(64, 7))));
    ASSERT_EQ(check.warnings.size(), 1u);
    EXPECT_EQ(check.warnings[0].line, 4);
    EXPECT_EQ(check.warnings[0].first, 0x10Cu);
    EXPECT_EQ(check.warnings[0].last, 0x14Bu);

    // Lines with text after the end record, however far apart; blank ones and the rest of the
    // end record's own line are not worth a word.
    const std::string end = SRecordLine(9, 0);
    const std::pair<std::string, std::string> after[] = {
        {end + "\n \t\r\n\n", ""},
        {end.substr(0, end.size() - 1) + " junk\n", ""},
        {end + "S1 the rest\n\n\nmore\n",
         "Warning: lines 4 to 7 of the file follow the end record and are not loaded"},
    };
    for (const auto& [tail, warning] : after) {
        const std::string text = SRecordLine(0, 0) + lines[0] + tail;
        check = Check(text);
        EXPECT_EQ(check.result, 0) << tail;
        EXPECT_EQ(check.warnings.empty() ? "" : FileWarningText(check.warnings.back()), warning);
        EXPECT_EQ(check.lineCount, 1 + std::count(text.begin(), text.end(), '\n')) << tail;
    }

    // The same 16 bytes given again and again: every line counts, the first ones are kept as
    // warnings, the rest are told as one with their count and their first and last line.
    const std::tuple<int, int, std::string> repeats[] = {
        {21, 20, "overlap 22-22"},
        {22, 21,
         "more_overlaps 23-23 Warning: 1 more lines of the file give data that earlier "
         "lines gave"},
        {50, 49,
         "more_overlaps 23-51 Warning: 29 more lines of the file give data that earlier "
         "lines gave"},
    };
    for (const auto& [copies, overlaps, last] : repeats) {
        std::string again;
        for (int i = 0; i < copies; ++i) {
            again += lines[0];
        }
        check = Check(WithEnd(again));
        EXPECT_EQ(check.overlapLines, overlaps);
        EXPECT_EQ(check.warnings.size(), kKeptWarnings);
        const CToldWarning told = ToldWarnings(check).back();
        const std::string text = told.what == std::string("overlap") ? "" : " " + told.text;
        EXPECT_EQ(told.what + (" " + std::to_string(told.line)) + "-" +
                      std::to_string(told.lastLine) + text,
                  last);
    }
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

std::string Replaced(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

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
    // Lines ended by CR alone, with and without a header, short and long.
    {"CrOnlyShort", Replaced(kFirst, '\n', '\r'), kCheckCrLineEnds, 1, "Sorry, line 1 " + kCrOnly},
    {"CrOnlyNoHeader", Replaced(DataRecords(1, 0x100, 2, 16) + SRecordLine(9, 0), '\n', '\r'),
     kCheckCrLineEnds, 1, "Sorry, line 1 " + kCrOnly},
    {"CrOnlyLong", Replaced(WithEnd(DataRecords(2, 0x10000, 30, 16)), '\n', '\r'), kCheckCrLineEnds,
     1, "Sorry, line 1 " + kCrOnly},
    {"CrOnlyAfterGoodLines", DataRecords(1, 0x100, 2, 16) + Replaced(kFirst, '\n', '\r'),
     kCheckCrLineEnds, 3, "Sorry, line 3 " + kCrOnly},
    // A header longer than one read (a build's path) is passed over; data lines keep the limit.
    {"LongHeader", kHeaderPath + DataRecords(2, 0x10000, 3, 16) + SRecordLine(9, 0), 0, 0, ""},
    {"HeaderOfOneReadAndItsLineEnd",
     "S0" + std::string(252, 'f') + "\n" + DataRecords(1, 0x100, 2, 16) + SRecordLine(9, 0), 0, 0,
     ""},
    // Count records: right counts pass, wherever they stand; a wrong one means lost records.
    {"CountRight", WithEnd(DataRecords(2, 0x10000, 3, 16) + "S5030003F9\n"), 0, 0, ""},
    {"CountInTheMiddle",
     WithEnd(DataRecords(2, 0x10000, 2, 16) + "S5030002FA\n" + DataRecords(2, 0x10020, 1, 16) +
             "S5030003F9\n"),
     0, 0, ""},
    {"CountWithAnEmptyRecord",
     WithEnd(SRecordLine(1, 0x100) + DataRecords(2, 0x10000, 2, 16) + "S5030003F9\n"), 0, 0, ""},
    {"CountWrong", WithEnd(DataRecords(2, 0x10000, 3, 16) + "S5030002FA\n"), kRecordCountWrong, 5,
     "Sorry, line 5 of the file counts 2 data records before it, but 3 are there: records were "
     "lost !"},
    // Blocks: high data first, then low data, so that the limit drops in the middle of the file
    // (the check must not lower it itself, but list by the limit as the pass left it).
    {"BlocksLimitDrops",
     WithEnd(DataRecords(3, 0x20000, 20, 16) + DataRecords(1, 0x100, 20, 16) +
             DataRecords(3, 0x30000, 20, 16)),
     0, 0, ""},
};

class FileCheckRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(FileCheckRules, TheCheckAndThePassReadAlike) {
    const RuleCase& c = GetParam();
    g_blockLimit = kFirstBlockLimit;
    Blocks listed;
    const CFileCheck check = Check(c.text, &listed);
    EXPECT_EQ(check.result, c.result);
    EXPECT_EQ(check.line, c.line);
    EXPECT_EQ(FileCheckMessage(check), c.message);
    EXPECT_EQ(check.lineCount, 1 + std::count(c.text.begin(), c.text.end(), '\n'));
    EXPECT_EQ(check.blocks, static_cast<int>(listed.size()));
    EXPECT_EQ(g_blockLimit, kFirstBlockLimit) << "the check changed the run's limit";

    // Twice: after a file with low data the limit stays low, and the check lists what the next
    // run will do.
    for (int run = 0; run < 2; ++run) {
        BlockPanel panel;
        File file = FileWith(c.text);
        const int pass = ProgramFile(UpdateProgress, &panel, file.get(), nullptr, 0);
        if (c.result == 0 || c.result == kRecordCountWrong) {
            EXPECT_EQ(pass, c.result);
            EXPECT_EQ(panel.blocks, listed);
        }
        if (c.result == 0) {
            EXPECT_FALSE(listed.empty());
            // One progress step per line read, from 0, the header's whole line being one.
            std::vector<std::string> steps;
            for (int line = 0; line < check.lines; ++line) {
                steps.push_back(std::to_string(line));
            }
            EXPECT_EQ(panel.EventsOf("pos "), steps);
        }
        listed.clear();
        Check(c.text, &listed);
    }
    g_blockLimit = kFirstBlockLimit;
}

INSTANTIATE_TEST_SUITE_P(Texts, FileCheckRules, ::testing::ValuesIn(kRuleCases),
                         [](const auto& info) { return std::string(info.param.name); });

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
