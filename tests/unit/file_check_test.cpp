// The whole-file check run before a load: files made by a standard tool pass with their real data
// size and address range; every kind of broken line is reported with its number.

#include "loader/file_check.h"
#include "loader/srecord_reader.h"

#include "loader_test_support.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

namespace {

// The lines of the S-record file objcopy makes from `size` bytes placed at `base` (S1, S2 or S3
// records, whichever the highest address needs); none when objcopy is not there.
std::vector<std::string> ObjcopyLines(const ScratchDir& dir, size_t size, uint32_t base) {
    const std::string stem = dir / std::to_string(size);
    std::string bytes(size, '\0');
    std::iota(bytes.begin(), bytes.end(), '\x07');
    std::ofstream(stem + ".bin", std::ios::binary) << bytes;
    const std::string command = "objcopy -I binary -O srec --change-addresses " +
                                std::to_string(base) + " " + stem + ".bin " + stem + ".srec";
    std::vector<std::string> lines;
    std::ifstream records(std::system(command.c_str()) == 0 ? stem + ".srec" : "");
    for (std::string line; std::getline(records, line);) {
        lines.push_back(line + "\n");
    }
    return lines;
}

TEST(FileCheck, ObjcopyFilesPassAndABrokenLineIsReportedByNumber) {
    // Size, address of the first byte, data records from the top down.
    const std::tuple<size_t, uint32_t, bool> cases[] = {
        {1, 0, false}, {5000, 0, false}, {777, 0x1F000, true}, {4096, 0xFFFFF000, false}};
    const ScratchDir dir;
    std::vector<std::string> good;
    std::string text;
    for (const auto& [size, base, reversed] : cases) {
        good = ObjcopyLines(dir, size, base);
        if (good.empty()) {
            GTEST_SKIP() << "objcopy is not available";
        }
        if (reversed) {
            std::reverse(good.begin() + 1, good.end() - 1);
        }
        text = std::accumulate(good.begin(), good.end(), std::string());
        File file = FileWith(text);
        std::fseek(file.get(), 0, SEEK_END); // the check must rewind first
        CFileCheck check;
        EXPECT_EQ(CheckSRecordFile(file.get(), &check), 0) << size;
        EXPECT_EQ(check.lines, static_cast<int>(good.size()));
        EXPECT_EQ(check.dataBytes, size);
        EXPECT_EQ(check.dataRecords, check.lines - 2) << "a header and an end record around them";
        EXPECT_EQ(check.lowestAddress, base);
        EXPECT_EQ(check.highestAddress, base + size - 1);
    }

    // The last file again, broken in a data record in the middle.
    const int n = static_cast<int>(good.size() / 2);
    const size_t start = text.find(good[n]);
    const auto spoil = [&](size_t i, char c) { return std::string(text).replace(i, 1, 1, c); };
    // objcopy ends its lines with "\r\n": the checksum ends at the last hexadecimal digit.
    const size_t sum = start + good[n].find_last_of("0123456789ABCDEF");
    const std::string at = "Sorry, line " + std::to_string(n + 1) + " of the file ";
    const std::string noEnd = "Sorry, the file ends without an end record !";
    const std::tuple<std::string, int, int, std::string> broken[] = {
        {spoil(sum, text[sum] == '0' ? '1' : '0'), 2, n + 1, at + "has a wrong checksum !"},
        {spoil(start + 5, 'G'), 1, n + 1, at + "has a bad address !"},
        {spoil(start, 's'), 4, n + 1, at + "is not an S-record !"},
        {spoil(start + 1, '5'), 5, n + 1, at + "has an unsupported record type !"},
        {spoil(start + 2, '-'), 6, n + 1, at + "has a bad byte count !"},
        {spoil(start + 20, ' '), 7, n + 1, at + "has bad data !"},
        // Without its end record the file runs out; anything after an end record is never read.
        {text.substr(0, text.rfind('S')), kRecordNoLine, static_cast<int>(good.size()), noEnd},
        {"", kRecordNoLine, 1, noEnd},
        {good.back() + "not a record\n", 0, 0, ""},
    };
    for (const auto& [content, result, line, message] : broken) {
        File file = FileWith(content);
        CFileCheck check;
        EXPECT_EQ(CheckSRecordFile(file.get(), &check), result) << message;
        EXPECT_EQ(check.line, line) << message;
        EXPECT_EQ(FileCheckMessage(check), message);
        EXPECT_EQ(std::ftell(file.get()), 0) << "rewound";
    }
}

} // namespace
