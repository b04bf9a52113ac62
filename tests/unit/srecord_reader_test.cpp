// Decoding S-record lines: results, what each result leaves in the outputs, and line counting.

#include "loader/record_walk.h"

#include "loader_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// What the outputs hold before a read: a value an output still holds afterwards was not written.
constexpr int16_t kNoLength = 0x5A5A;
constexpr uint32_t kNoAddress = 0xDEADBEEF;
constexpr uint8_t kNoData = 0xEE;

// Reads a line into outputs that hold the values above.
struct Outcome {
    int16_t length = kNoLength;
    uint32_t address = kNoAddress;
    std::vector<uint8_t> data = std::vector<uint8_t>(kRecordDataCapacity + 1, kNoData);
    int result; // last: read once the outputs are set up
    explicit Outcome(FILE* file) : result(ReadSRecord(data.data(), file, &address, &length)) {}
    // Decoded where it lies in a text that goes on with hexadecimal digits, which must not be
    // read: at most the characters one read of a stream would take.
    explicit Outcome(const std::string& line)
        : result(DecodeSRecord((line + std::string(600, 'F')).c_str(),
                               std::min<size_t>(line.size(), kRecordLineChars), data.data(),
                               &address, &length)) {}
    bool operator==(const Outcome& o) const {
        return result == o.result && length == o.length && address == o.address && data == o.data;
    }
};

// The data output after these bytes were stored at its start.
std::vector<uint8_t> Stored(std::vector<uint8_t> bytes) {
    bytes.resize(kRecordDataCapacity + 1, kNoData);
    return bytes;
}

TEST(ReadSRecord, ResultsAndWhatEachLeavesInTheOutputs) {
    std::vector<uint8_t> d5, d122;
    const std::string s1 = DataRecords(1, 0x10, 1, 5, &d5);
    const std::string longest = DataRecords(1, 0x100, 1, 122, &d122);
    ASSERT_EQ(longest.size(), 255u); // 254 characters and the '\n'
    const auto badSum = [](std::string line) {
        return line.replace(line.size() - 2, 1, line[line.size() - 2] == '0' ? "1" : "0");
    };
    // Records short of data digits take the checksum digits as their next data byte.
    const uint8_t sum = static_cast<uint8_t>(std::stoul(s1.substr(s1.size() - 3, 2), nullptr, 16));
    const std::vector<uint8_t> d3(d5.begin(), d5.begin() + 3), shortTwo{d5[0], d5[1], d5[2], sum},
        shortOne{d5[0], d5[1], d5[2], d5[3], sum};
    // The line, the result, and what the length, address and data outputs hold afterwards.
    const std::tuple<std::string, int, int16_t, uint32_t, std::vector<uint8_t>> cases[] = {
        {s1, kRecordOk, 5, 0x10, d5},
        {longest, kRecordOk, 122, 0x100, d122},
        {SRecordLine(2, 0xA1B2C3, d5), kRecordOk, 5, 0xA1B2C3, d5},
        {SRecordLine(3, 0x89ABCDEF, d5), kRecordOk, 5, 0x89ABCDEF, d5},
        {SRecordLine(1, 0), kRecordOk, 0, 0, {}},
        {badSum(SRecordLine(3, 0x20000, d5)), kRecordBadChecksum, 5, 0x20000, d5},
        {std::string(s1).erase(s1.size() - 5, 2), kRecordBadChecksum, 5, 0x10, shortOne},
        {std::string(s1).erase(s1.size() - 7, 4), kRecordBadData, 5, 0x10, shortTwo},
        // The second digit of the fourth data byte is bad.
        {std::string(s1).replace(8 + 2 * 3 + 1, 1, "x"), kRecordBadData, 5, 0x10, d3},
        {std::string(s1).replace(8 + 1, 1, "\xB3"), kRecordBadData, 5, 0x10, {}}, // not ASCII
        {"S1010010\n", kRecordBadData, 1 - 3, 0x10, {}}, // count below the address
        {SRecordLine(2, 0x123456, d5).replace(6, 1, "G"), kRecordBadAddress, 5, kNoAddress, {}},
        // A header's contents are not read.
        {SRecordLine(0, 0, d5), kRecordOk, 0, 0, {}},
        {badSum(SRecordLine(0, 0x1234, d5)), kRecordOk, 0, 0, {}},
        {"S70500000000FA\n", kRecordEnd, 0, kNoAddress, {}},
        {"S804000000FB\n", kRecordEnd, 0, kNoAddress, {}},
        {"S903 anything\n", kRecordEnd, 0, kNoAddress, {}},
        // Count records: 16 or 24 bits of count, checked as a data record's address is.
        {"S5030001FB\n", kRecordCount, 0, 1, {}},
        {"S604010203F5\n", kRecordCount, 0, 0x10203, {}},
        {"S5030001FC\n", kRecordBadChecksum, 0, kNoAddress, {}},
        {"S503G001FB\n", kRecordBadAddress, 0, kNoAddress, {}},
        {"S5040000010F\n", kRecordBadCount, kNoLength, kNoAddress, {}}, // a count with data
        {"S6030001FB\n", kRecordBadCount, kNoLength, kNoAddress, {}},
        {"S4030000FC\n", kRecordUnsupportedType, 0, kNoAddress, {}},
        {"SXZZ\n", kRecordBadCount, kNoLength, kNoAddress, {}},
        {"S11G\n", kRecordBadCount, kNoLength, kNoAddress, {}},
        {"S\n", kRecordBadCount, kNoLength, kNoAddress, {}},
        {"\n", kRecordNotSRecord, kNoLength, kNoAddress, {}},
        {"s" + s1.substr(1), kRecordNotSRecord, kNoLength, kNoAddress, {}},
    };
    for (const auto& [upper, result, length, address, data] : cases) {
        // Lower-case digits decode as upper case; only the leading 'S' must be upper case.
        std::string lower = upper;
        std::transform(lower.begin() + 1, lower.end(), lower.begin() + 1,
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        for (const std::string& line : {upper, lower}) {
            File file = FileWith(line);
            const Outcome out(file.get());
            EXPECT_EQ(out.result, result) << line;
            EXPECT_EQ(out.length, length) << line;
            EXPECT_EQ(out.address, address) << line;
            EXPECT_EQ(out.data, Stored(data)) << line;
            EXPECT_TRUE(Outcome(line) == out) << line;
            // The last line of a file, without a line end.
            const std::string last = line.substr(0, line.size() - 1);
            if (last.empty()) {
                continue; // no line at all
            }
            File cut = FileWith(last);
            EXPECT_TRUE(Outcome(last) == Outcome(cut.get())) << last;
        }
    }
}

TEST(ReadSRecord, LinesInSequenceLongOnesInPiecesAndNothingChangesAtTheEnd) {
    const std::string longest = DataRecords(1, 0x100, 1, 122);
    const std::pair<std::string, std::vector<int>> cases[] = {
        // The '\n' after 254 characters is read as a line of its own, and so is any longer rest.
        {longest, {kRecordOk, kRecordNotSRecord}},
        {longest.substr(0, 254) + "S9030000FC\n", {kRecordOk, kRecordEnd}},
        // A header's line is read to its end, however long: it holds nothing the loader uses.
        {"S00F" + std::string(250, 'x') + "\nS9030000FC\n", {kRecordOk, kRecordEnd}},
        {"S00F" + std::string(600, '\0') + "S1\nS9030000FC\n", {kRecordOk, kRecordEnd}},
        {"S00F" + std::string(600, 'x'), {kRecordOk}},
        // A last line cut after its 'S' must not pick up digits a previous line left behind.
        {"S1030000FC\nS", {kRecordOk, kRecordBadCount}},
    };
    for (const auto& [text, results] : cases) {
        File file = FileWith(text);
        for (int result : results) {
            EXPECT_EQ(Outcome(file.get()).result, result) << text;
        }
        const Outcome end(file.get());
        EXPECT_EQ(end.result, kRecordNoLine);
        EXPECT_EQ(end.length, kNoLength);
        EXPECT_EQ(end.address, kNoAddress);
        EXPECT_EQ(end.data, Stored({}));
    }
}

TEST(CountLines, OneMoreThanTheNewlinesFromTheCurrentPosition) {
    // Lines of many lengths, some ending on the edges of 16 KiB blocks.
    std::string big(200000, 'S');
    for (size_t i = 0; i < big.size(); i += 1 + (i * 7919) % 97) {
        big[i] = '\n';
    }
    for (size_t edge : {16383u, 16384u, 32767u, 32768u, 65536u}) {
        big[edge] = '\n';
    }
    const std::pair<std::string, long> cases[] = {{"", 0},  {"S9030000FC\n", 0}, {"S9030000FC", 0},
                                                  {big, 0}, {big, 12345},        {big, 200000}};
    for (const auto& [text, start] : cases) {
        File file = FileWith(text);
        std::fseek(file.get(), start, SEEK_SET);
        EXPECT_EQ(CountLines(file.get()), 1 + std::count(text.begin() + start, text.end(), '\n'));
        EXPECT_EQ(std::ftell(file.get()), static_cast<long>(text.size())) << "left at the end";
    }
}

} // namespace
