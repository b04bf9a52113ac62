// Decoding S-record lines: results, what each result leaves in the outputs, and line counting.

#include "loader/srecord_reader.h"

#include "loader_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Hex(unsigned value, int digits) {
    std::string text;
    for (int i = digits - 1; i >= 0; --i) {
        text += "0123456789ABCDEF"[(value >> (4 * i)) & 0xF];
    }
    return text;
}

// A record built independently of the reader; countDelta and sumDelta spoil the count and the
// checksum, drop removes that many digits from the end of the data.
std::string Record(char type, uint32_t address, const std::vector<uint8_t>& data,
                   int countDelta = 0, int sumDelta = 0, size_t drop = 0) {
    const int addressBytes = type == '2' || type == '3' ? type - '0' + 1 : 2;
    unsigned count = static_cast<unsigned>(addressBytes + data.size() + 1 + countDelta) & 0xFF;
    unsigned sum = count;
    std::string body = Hex(address, 2 * addressBytes);
    for (int k = 0; k < addressBytes; ++k) {
        sum += (address >> (8 * k)) & 0xFF;
    }
    for (uint8_t byte : data) {
        body += Hex(byte, 2);
        sum += byte;
    }
    body.resize(body.size() - drop);
    return std::string("S") + type + Hex(count, 2) + body + Hex((~sum + sumDelta) & 0xFF, 2) + "\n";
}

std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return bytes;
}

constexpr uint32_t kAddressSentinel = 0xDEADBEEF;
constexpr int16_t kLengthSentinel = 0x5A5A;
constexpr uint8_t kDataSentinel = 0xEE;
constexpr int kUnchanged = 0x10000; // expected length: the sentinel is still there

struct Outcome {
    int result;
    int16_t length;
    uint32_t address;
    std::vector<uint8_t> data; // as long as the data output is examined
};

Outcome Read(FILE* file, size_t examine) {
    std::vector<uint8_t> data(256, kDataSentinel);
    Outcome out{0, kLengthSentinel, kAddressSentinel, {}};
    out.result = ReadSRecord(data.data(), file, &out.address, &out.length);
    out.data.assign(data.begin(), data.begin() + examine);
    return out;
}

// What the data output must hold when `written` bytes of `data` were stored.
std::vector<uint8_t> Stored(const std::vector<uint8_t>& data, size_t written, size_t examine) {
    std::vector<uint8_t> bytes(examine, kDataSentinel);
    std::copy(data.begin(), data.begin() + std::min(written, examine), bytes.begin());
    return bytes;
}

struct Case {
    const char* what;
    std::string line;
    int result;
    int length;                // or kUnchanged
    uint32_t address;          // kAddressSentinel when it must stay unchanged
    std::vector<uint8_t> data; // the bytes stored from the start of the data output
};

void Expect(const Case& c, const std::string& line) {
    File file = FileWith(line);
    Outcome out = Read(file.get(), 40);
    EXPECT_EQ(out.result, c.result) << c.what;
    EXPECT_EQ(out.length, c.length == kUnchanged ? kLengthSentinel : c.length) << c.what;
    EXPECT_EQ(out.address, c.address) << c.what;
    EXPECT_EQ(out.data, Stored(c.data, c.data.size(), 40)) << c.what;
}

TEST(ReadSRecord, ResultsAndWhatEachLeavesInTheOutputs) {
    const auto d16 = Bytes(16);
    const auto d5 = Bytes(5);
    std::string badAddress = Record('2', 0x123456, d5);
    badAddress[6] = 'G';
    std::string badData = Record('1', 0x4000, d5);
    badData[8 + 2 * 3 + 1] = 'x'; // second digit of the fourth data byte
    // Short records: the checksum digits are taken as the next data byte.
    const std::string shortOne = Record('1', 0x10, d5, 0, 0, 2);
    const std::string shortTwo = Record('1', 0x10, d5, 0, 0, 4);
    const auto checksumOf = [](const std::string& line) {
        return static_cast<uint8_t>(
            std::strtoul(line.substr(line.size() - 3, 2).c_str(), nullptr, 16));
    };
    std::vector<uint8_t> shortOneData(d5.begin(), d5.end() - 1);
    shortOneData.push_back(checksumOf(shortOne));
    std::vector<uint8_t> shortTwoData(d5.begin(), d5.end() - 2);
    shortTwoData.push_back(checksumOf(shortTwo));
    const Case cases[] = {
        {"S1, 16 bytes", Record('1', 0, d16), 0, 16, 0, d16},
        {"S2, 24-bit address", Record('2', 0xA1B2C3, d5), 0, 5, 0xA1B2C3, d5},
        {"S3, 32-bit address", Record('3', 0x89ABCDEF, d5), 0, 5, 0x89ABCDEF, d5},
        {"S1 without data", "S1030000FC\n", 0, 0, 0, {}},
        {"checksum off by one", Record('3', 0x20000, d5, 0, 1), 2, 5, 0x20000, d5},
        {"header, good", Record('0', 0, Bytes(3)), 0, 0, 0, {}},
        {"header, bad checksum", Record('0', 0x1234, d5, 0, 1), 0, 0, 0, {}},
        {"header, not hex after the count", "S005ZZ\n", 0, 0, 0, {}},
        {"header, nothing after the count", "S005", 0, 0, 0, {}},
        {"S7", "S70500000000FA\n", 9, 0, kAddressSentinel, {}},
        {"S8", "S804000000FB\n", 9, 0, kAddressSentinel, {}},
        {"S9 with any text", "S903 anything\n", 9, 0, kAddressSentinel, {}},
        {"S5, valid count", "S5030001FB\n", 5, 0, kAddressSentinel, {}},
        {"S4", Record('4', 0, {}), 5, 0, kAddressSentinel, {}},
        {"letter type", "SX0300\n", 5, 0, kAddressSentinel, {}},
        {"letter type, count not hex", "SXZZ\n", 6, kUnchanged, kAddressSentinel, {}},
        {"data type, count one digit", "S11G\n", 6, kUnchanged, kAddressSentinel, {}},
        {"ends after S", "S\n", 6, kUnchanged, kAddressSentinel, {}},
        {"ends after S, no newline", "S", 6, kUnchanged, kAddressSentinel, {}},
        {"ends after the type", "S1\n", 6, kUnchanged, kAddressSentinel, {}},
        {"empty line", "\n", 4, kUnchanged, kAddressSentinel, {}},
        {"leading space", " " + Record('1', 0, d5), 4, kUnchanged, kAddressSentinel, {}},
        {"lower-case s", "s" + Record('1', 0, d5).substr(1), 4, kUnchanged, kAddressSentinel, {}},
        {"bad address digit", badAddress, 1, 5, kAddressSentinel, {}},
        {"bad data digit", badData, 7, 5, 0x4000, {d5.begin(), d5.begin() + 3}},
        {"one data byte short", shortOne, 2, 5, 0x10, shortOneData},
        {"two data bytes short", shortTwo, 7, 5, 0x10, shortTwoData},
        {"count below the address", "S1010010\n", 7, 1 - 3, 0x10, {}},
        {"count below, bad address", "S102ZZ\n", 1, -1, kAddressSentinel, {}},
    };
    for (const Case& c : cases) {
        Expect(c, c.line);
        // Lower-case digits decode as upper case; only the leading 'S' must stay upper case.
        std::string lower = c.line;
        std::transform(lower.begin() + std::min<size_t>(lower.size(), 1), lower.end(),
                       lower.begin() + std::min<size_t>(lower.size(), 1),
                       [](char ch) { return static_cast<char>(std::tolower(ch)); });
        if (lower != c.line && c.line[0] == 'S' && c.line[1] != 'X') {
            Expect(c, lower);
        }
    }
}

TEST(ReadSRecord, LinesInSequenceLongOnesInPiecesAndNothingChangesAtTheEnd) {
    const auto data = Bytes(122);
    const std::string record = Record('1', 0x100, data);
    ASSERT_EQ(record.size(), 255u); // 254 characters and the '\n'
    File file = FileWith(record);
    Outcome first = Read(file.get(), 256);
    EXPECT_EQ(first.result, kRecordOk);
    EXPECT_EQ(first.length, 122);
    EXPECT_EQ(first.data, Stored(data, data.size(), 256));

    const struct {
        std::string text;
        std::vector<int> results;
    } cases[] = {
        // The '\n' after 254 characters is read as a line of its own, and so is any longer rest.
        {record, {kRecordOk, kRecordNotSRecord}},
        {record.substr(0, 254) + "S9030000FC\n", {kRecordOk, kRecordEnd}},
        // A last line cut after its 'S' must not pick up digits a previous line left behind.
        {"S1030000FC\nS", {kRecordOk, kRecordBadCount}},
    };
    for (const auto& c : cases) {
        file = FileWith(c.text);
        for (size_t i = 0; i < c.results.size(); ++i) {
            EXPECT_EQ(Read(file.get(), 0).result, c.results[i]) << c.text << " read " << i;
        }
        Outcome end = Read(file.get(), 256);
        EXPECT_EQ(end.result, kRecordNoLine);
        EXPECT_EQ(end.length, kLengthSentinel);
        EXPECT_EQ(end.address, kAddressSentinel);
        EXPECT_EQ(end.data, std::vector<uint8_t>(256, kDataSentinel));
    }
}

TEST(ReadHexByte, EveryByteInBothCasesAndEveryWayToFail) {
    for (int value = 0; value < 256; ++value) {
        for (bool lower : {false, true}) {
            char text[3];
            std::snprintf(text, sizeof text, lower ? "%02x" : "%02X", value);
            const char* cursor = text;
            uint8_t byte = 0;
            uint8_t sum = 0xF0;
            ASSERT_EQ(ReadHexByte(&cursor, &byte, &sum), 0) << text;
            EXPECT_EQ(byte, std::strtoul(text, nullptr, 16)) << text;
            EXPECT_EQ(sum, static_cast<uint8_t>(0xF0 + byte)) << text;
            EXPECT_EQ(cursor, text + 2);
        }
    }
    const struct {
        const char* text;
        int consumed;
    } failures[] = {{"", 0},  {"G1", 0}, {" 1", 0},   {"\xC1\x31", 0},
                    {"1", 1}, {"1G", 1}, {"1\xB3", 1}};
    for (const auto& f : failures) {
        const char* cursor = f.text;
        uint8_t byte = 0x77;
        uint8_t sum = 0x33;
        EXPECT_EQ(ReadHexByte(&cursor, &byte, &sum), -1) << f.text;
        EXPECT_EQ(cursor, f.text + f.consumed) << f.text;
        EXPECT_EQ(byte, 0x77);
        EXPECT_EQ(sum, 0x33);
    }
}

TEST(CountLines, OneMoreThanTheNewlinesFromTheCurrentPosition) {
    std::string big(200000, 'S');
    for (size_t i = 0; i < big.size(); i += 1 + (i * 7919) % 97) {
        big[i] = '\n';
    }
    for (size_t edge : {16383u, 16384u, 32767u, 32768u, 65536u}) {
        big[edge] = '\n';
    }
    const struct {
        std::string text;
        long start;
    } cases[] = {{"", 0},  {"S9030000FC\n", 0}, {"S9030000FC", 0},
                 {big, 0}, {big, 12345},        {big, 200000}};
    for (const auto& c : cases) {
        File file = FileWith(c.text);
        std::fseek(file.get(), c.start, SEEK_SET);
        EXPECT_EQ(CountLines(file.get()),
                  1 + std::count(c.text.begin() + c.start, c.text.end(), '\n'));
        EXPECT_EQ(std::ftell(file.get()), static_cast<long>(c.text.size()));
    }
}

} // namespace
