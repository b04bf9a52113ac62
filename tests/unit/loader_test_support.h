#pragma once
// Helpers for the loader's tests: S-record text built independently of the reader, and a run
// controller whose front panel records what the worker shows.

#include "loader/front_panel.h"
#include "loader/run_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One S-record line (type 1, 2 or 3 with data; 0 and 9 without) with a correct checksum.
inline std::string SRecordLine(int type, uint32_t address, const std::vector<uint8_t>& data = {}) {
    int addressBytes = type == 0 || type == 1 || type == 9 ? 2 : (type == 2 || type == 8 ? 3 : 4);
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i) {
        bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<uint8_t>(~sum));
    std::string line = "S" + std::to_string(type);
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\n";
}

// Contiguous data records of recordLength bytes each from address, with byte values that tell
// their position apart.
inline std::string DataRecords(int type, uint32_t address, int records, int recordLength,
                               std::vector<uint8_t>* all = nullptr) {
    std::string text;
    for (int r = 0; r < records; ++r) {
        std::vector<uint8_t> data(static_cast<size_t>(recordLength));
        for (int i = 0; i < recordLength; ++i) {
            data[static_cast<size_t>(i)] = static_cast<uint8_t>((r * recordLength + i) * 7 + r);
        }
        if (all) {
            all->insert(all->end(), data.begin(), data.end());
        }
        text += SRecordLine(type, address + static_cast<uint32_t>(r * recordLength), data);
    }
    return text;
}

// Data records between a header and an end record: a whole image.
inline std::string WithEnd(const std::string& records) {
    return SRecordLine(0, 0, {'h', 'd', 'r'}) + records + SRecordLine(9, 0);
}

// A temporary file holding text, rewound, closed when it goes.
using File = std::unique_ptr<FILE, int (*)(FILE*)>;

inline File FileWith(const std::string& text) {
    // Under Wine, std::tmpfile makes its file in the prefix's temporary folder, which a prefix
    // made a moment ago may not have yet: the first test of a fresh prefix tries for a while.
    FILE* made = std::tmpfile();
    for (int attempt = 0; made == nullptr && attempt < 250; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        made = std::tmpfile();
    }
    if (made == nullptr) {
        ADD_FAILURE() << "no temporary file could be made";
        made = std::fopen("tovik-test-file.tmp", "w+b");
    }
    File file(made, &std::fclose);
    std::fwrite(text.data(), 1, text.size(), file.get());
    std::rewind(file.get());
    return file;
}

// A run controller, as a dialog carries it, whose panel records the worker's display calls;
// safe to read from the test's thread.
class RecordingPanel : public CFrontPanel, public CRunController {
public:
    RecordingPanel() : CRunController(this) {}
    void SetProgressPos(int position) override { Add("pos " + std::to_string(position)); }
    void ShowErasing() override { Add("erasing"); }
    void ShowProgramming(int lineCount) override {
        Add("programming " + std::to_string(lineCount));
    }
    void OnStop() override {
        Stop();
        Add("stop");
    }
    void OnRunWoundDown() override { Add("wound down"); }
    // The programming pass's result and the start's reply, as "0 0".
    std::string End() const {
        return Result().m_bProgramEnded ? std::to_string(Result().m_nProgramResult) + " " +
                                              std::to_string(Result().m_nStartReply)
                                        : "none";
    }
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_events;
    }
    // The events that begin with prefix, without it.
    std::vector<std::string> EventsOf(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& e : Events()) {
            if (e.rfind(prefix, 0) == 0) {
                found.push_back(e.substr(prefix.size()));
            }
        }
        return found;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_events.clear();
    }

private:
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_events.push_back(event);
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};
