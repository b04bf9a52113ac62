// The whole-file check run before a load: files made by a standard tool pass with their real data
// size and address range; every kind of broken line is reported with its number.

#include "loader/file_check.h"
#include "loader/srecord_reader.h"

#include "loader_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// An S-record file made by objcopy from `size` bytes placed at `base`; empty when objcopy is
// not there.
std::string ObjcopyRecords(size_t size, uint32_t base, bool forceS3) {
    // ctest runs tests in parallel processes: each test gets its own file names.
    const std::string stem = ::testing::TempDir() + "tovik_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(size);
    const std::string binary = stem + ".bin";
    const std::string records = stem + ".srec";
    std::ofstream out(binary, std::ios::binary);
    for (size_t i = 0; i < size; ++i) {
        out.put(static_cast<char>(i * 131 + 7));
    }
    out.close();
    const std::string command = "objcopy -I binary -O srec --change-addresses " +
                                std::to_string(base) + (forceS3 ? " --srec-forceS3 " : " ") +
                                binary + " " + records;
    if (std::system(command.c_str()) != 0) {
        return std::string();
    }
    std::stringstream text;
    text << std::ifstream(records).rdbuf();
    std::remove(binary.c_str());
    std::remove(records.c_str());
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line + "\n");
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
    }
    return text;
}

TEST(FileCheck, FilesMadeByObjcopyPassWithTheirSizeAndRange) {
    const struct {
        size_t size;
        uint32_t base;
        bool forceS3;
        bool reversed; // data records from the highest address down
    } cases[] = {{1, 0, false, false},
                 {5000, 0, false, false},
                 {777, 0x1F000, false, true},
                 {4096, 0xFFFFF000, true, false}};
    for (const auto& c : cases) {
        std::vector<std::string> lines = Lines(ObjcopyRecords(c.size, c.base, c.forceS3));
        if (lines.empty()) {
            GTEST_SKIP() << "objcopy is not available";
        }
        if (c.reversed) {
            std::reverse(lines.begin() + 1, lines.end() - 1);
        }
        const std::string text = Join(lines);
        File file = FileWith(text);
        std::fseek(file.get(), 0, SEEK_END); // the check must rewind first
        CFileCheck check;
        EXPECT_EQ(CheckSRecordFile(file.get(), &check), 0) << c.size;
        EXPECT_EQ(check.line, 0);
        EXPECT_EQ(check.lines, std::count(text.begin(), text.end(), '\n'));
        EXPECT_EQ(check.dataBytes, c.size);
        // A header and an end record around the data records.
        EXPECT_EQ(check.dataRecords, check.lines - 2);
        EXPECT_EQ(check.lowestAddress, c.base);
        EXPECT_EQ(check.highestAddress, c.base + c.size - 1);
        EXPECT_EQ(std::ftell(file.get()), 0);
        EXPECT_EQ(FileCheckMessage(check), "");
    }
}

TEST(FileCheck, ABrokenLineIsReportedByNumber) {
    const std::vector<std::string> good = Lines(ObjcopyRecords(3000, 0x8000, false));
    if (good.empty()) {
        GTEST_SKIP() << "objcopy is not available";
    }
    const size_t n = good.size() / 2; // a data record in the middle
    auto spoil = [](std::string line, size_t at, char c) {
        line[at] = c;
        return line;
    };
    const std::string& record = good[n];
    // objcopy ends its lines with "\r\n": the checksum ends at the last hexadecimal digit.
    const size_t lastSumDigit = record.find_last_of("0123456789ABCDEF");
    const struct {
        std::string line;
        int result;
        const char* text;
    } cases[] = {
        {spoil(record, lastSumDigit, record[lastSumDigit] == '0' ? '1' : '0'), 2,
         "has a wrong checksum"},
        {spoil(record, 5, 'G'), 1, "has a bad address"},
        {spoil(record, 0, 's'), 4, "is not an S-record"},
        {spoil(record, 1, '5'), 5, "has an unsupported record type"},
        {spoil(record, 2, '-'), 6, "has a bad byte count"},
        {spoil(record, 20, ' '), 7, "has bad data"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = good;
        lines[n] = c.line;
        File file = FileWith(Join(lines));
        CFileCheck check;
        EXPECT_EQ(CheckSRecordFile(file.get(), &check), c.result) << c.text;
        EXPECT_EQ(check.result, c.result);
        EXPECT_EQ(check.line, static_cast<int>(n + 1)) << c.text;
        EXPECT_EQ(FileCheckMessage(check),
                  "Sorry, line " + std::to_string(n + 1) + " of the file " + c.text + " !");
        EXPECT_EQ(std::ftell(file.get()), 0);
    }

    // Without its end record the file runs out; anything after an end record is never read.
    const struct {
        std::vector<std::string> lines;
        int result;
        int line;
    } ends[] = {
        {{good.begin(), good.end() - 1}, kRecordNoLine, static_cast<int>(good.size())},
        {{}, kRecordNoLine, 1},
        {{good.back(), "not a record\n"}, 0, 0},
    };
    for (const auto& e : ends) {
        File file = FileWith(Join(e.lines));
        CFileCheck check;
        EXPECT_EQ(CheckSRecordFile(file.get(), &check), e.result);
        EXPECT_EQ(check.line, e.line);
        EXPECT_EQ(std::ftell(file.get()), 0);
        if (e.result == kRecordNoLine) {
            EXPECT_EQ(FileCheckMessage(check), "Sorry, the file ends without an end record !");
        }
    }
}

} // namespace
