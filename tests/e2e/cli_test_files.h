#pragma once
// What the end-to-end tests of tovik-cli share: firmware files made by objcopy and srec_cat from
// random data.

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Also the lines of an S-record file, which have no spaces.
inline std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

struct Firmware {
    const char* name;
    int addressBytes, recordLength; // 2, 3 or 4 (S1, S2 or S3 records); data bytes per record
    std::vector<std::pair<uint32_t, size_t>> ranges; // address, size
    friend void PrintTo(const Firmware& f, std::ostream* out) { *out << f.name; }
};

const Firmware kSmallFirmware{"small", 3, 32, {{0x10000, 1500}}};

// Makes the file from random bytes (a fixed seed per range): one range with objcopy, which picks
// S1 or S2 by the highest address and S3 when forced; several with srec_cat, told the address
// length. tovik-cli reads S0, data and S7/S8/S9 only: no count record, and an end record needs a
// start address.
inline std::string MakeFirmware(const std::string& dir, const Firmware& firmware) {
    const std::string path = dir + "/" + firmware.name + ".s19";
    std::string bins;
    for (size_t i = 0; i < firmware.ranges.size(); ++i) {
        std::mt19937 random(static_cast<unsigned>(1000 + i));
        std::string data(firmware.ranges[i].second, '\0');
        std::generate(data.begin(), data.end(), [&] { return static_cast<char>(random()); });
        const std::string bin = dir + "/" + firmware.name + std::to_string(i) + ".bin";
        std::ofstream(bin, std::ios::binary) << data;
        bins += " " + bin + " -binary -offset " + std::to_string(firmware.ranges[i].first);
    }
    const std::string start = std::to_string(firmware.ranges[0].first);
    const std::string length = std::to_string(firmware.recordLength);
    const std::string command =
        firmware.ranges.size() == 1
            ? "objcopy -I binary -O srec --srec-len " + length + " --change-addresses " + start +
                  (firmware.addressBytes == 4 ? " --srec-forceS3 " : " ") + dir + "/" +
                  firmware.name + "0.bin " + path
            : "srec_cat" + bins + " -o " + path +
                  " -Motorola -address-length=" + std::to_string(firmware.addressBytes) +
                  " -Output_Block_Size " + length +
                  " -disable=data-count -execution-start-address=" + start;
    EXPECT_EQ(RunShell(command), 0) << command;
    // The tools choose the record type themselves; make sure the file has the one asked for.
    EXPECT_EQ(Words(ReadText(path)).at(1).substr(0, 2),
              "S" + std::to_string(firmware.addressBytes - 1))
        << path;
    return path;
}

} // namespace e2e
