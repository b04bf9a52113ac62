#pragma once
// What unit 0 does with a request payload: carries out the command against its memory and says
// what to answer. Knows nothing of frames, timing or threads.

#include "sim/memory_image.h"
#include "sim/sim_options.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Error numbers the device reports after "ERR".
enum DeviceError : std::uint32_t {
    kErrorNone = 0,
    kErrorUnknownCommand = 1,
    kErrorParameterCount = 2,
    kErrorAddressRange = 3,
    kErrorEraseFailed = 4,
};

struct ExecutedCommand {
    std::string text;                 // e.g. "!W" or "?UNIT"
    std::vector<std::uint8_t> params; // the bytes after the command text
    std::uint32_t error = kErrorNone; // what the reply reported
    bool answered = true;             // false: the device stayed silent
};

struct CommandOutcome {
    std::vector<std::uint8_t> reply; // reply payload; empty when the device stays silent
    std::chrono::milliseconds busy{0};
    bool started = false; // the start command was carried out
};

class CommandExecutor {
public:
    explicit CommandExecutor(const SimOptions& options) : options_(options) {}

    CommandOutcome Execute(const std::vector<std::uint8_t>& payload);
    // Another board in the same place: blank memory, no erases, its faults still to come. The
    // log goes on, as it is what the line carried.
    void NewBoard();

    const MemoryImage& Memory() const { return memory_; }
    const std::vector<ExecutedCommand>& Log() const { return log_; }
    // Successful erases by cluster number.
    const std::array<unsigned, 256>& EraseCounts() const { return eraseCounts_; }

private:
    std::uint32_t Erase(const std::vector<std::uint8_t>& params);
    std::uint32_t Write(const std::vector<std::uint8_t>& params);

    const SimOptions options_;
    MemoryImage memory_;
    std::vector<ExecutedCommand> log_;
    std::array<unsigned, 256> eraseCounts_{};
    bool eraseFailureSpent_ = false;
    bool silenced_ = false; // --silent-after-erase-fail, after the failure
};

// Splits a request payload into its command text and parameter bytes. "!" commands are one letter,
// "?" commands a word of capitals; anything else keeps just its first byte as text.
void SplitCommand(const std::vector<std::uint8_t>& payload, std::string& text,
                  std::vector<std::uint8_t>& params);

// ':' + the text without its first character + "OK" or "ERR" and eight hex digits.
std::vector<std::uint8_t> FormatReply(const std::string& text, std::uint32_t error);

} // namespace sim
