#include "sim/command_executor.h"

#include <cstdio>

namespace sim {

namespace {

bool IsCapital(std::uint8_t c) {
    return c >= 'A' && c <= 'Z';
}

// Address plus data, so a write of up to 246 bytes still fits one frame.
constexpr std::size_t kWriteAddressBytes = 4;

} // namespace

void SplitCommand(const std::vector<std::uint8_t>& payload, std::string& text,
                  std::vector<std::uint8_t>& params) {
    std::size_t length = payload.empty() ? 0 : 1;
    if (length == 1 && payload[0] == '!') {
        if (payload.size() > 1 && IsCapital(payload[1])) {
            length = 2;
        }
    } else if (length == 1 && payload[0] == '?') {
        while (length < payload.size() && IsCapital(payload[length])) {
            ++length;
        }
    }
    text.assign(payload.begin(), payload.begin() + length);
    params.assign(payload.begin() + length, payload.end());
}

std::vector<std::uint8_t> FormatReply(const std::string& text, std::uint32_t error) {
    std::string reply = ":" + (text.empty() ? std::string() : text.substr(1));
    if (error == kErrorNone) {
        reply += "OK";
    } else {
        char digits[9];
        std::snprintf(digits, sizeof(digits), "%08X", static_cast<unsigned>(error));
        reply += "ERR";
        reply += digits;
    }
    return std::vector<std::uint8_t>(reply.begin(), reply.end());
}

CommandOutcome CommandExecutor::Execute(const std::vector<std::uint8_t>& payload) {
    ExecutedCommand command;
    SplitCommand(payload, command.text, command.params);
    CommandOutcome outcome;
    if (silenced_) {
        // Heard, but neither carried out nor answered.
        command.answered = false;
        log_.push_back(std::move(command));
        return outcome;
    }
    const std::size_t paramCount = command.params.size();
    bool silent = false;
    if (command.text == "!D" || command.text == "!G" || command.text == "?UNIT") {
        command.error = paramCount == 0 ? kErrorNone : kErrorParameterCount;
        if (command.text == "!G" && command.error == kErrorNone) {
            outcome.started = true;
            silent = options_.goSilent;
        }
    } else if (command.text == "!E") {
        command.error = Erase(command.params);
        if (paramCount == 1) {
            outcome.busy = std::chrono::milliseconds(options_.eraseMs);
        }
    } else if (command.text == "!W") {
        command.error = Write(command.params);
    } else {
        command.error = kErrorUnknownCommand;
    }
    if (!silent) {
        outcome.reply = FormatReply(command.text, command.error);
    }
    command.answered = !silent;
    log_.push_back(std::move(command));
    return outcome;
}

void CommandExecutor::NewBoard() {
    memory_ = MemoryImage();
    eraseCounts_.fill(0);
    eraseFailureSpent_ = false;
    silenced_ = false;
}

std::uint32_t CommandExecutor::Erase(const std::vector<std::uint8_t>& params) {
    if (params.size() != 1) {
        return kErrorParameterCount;
    }
    const int cluster = params[0];
    if (!eraseFailureSpent_ && options_.eraseFailOnce && *options_.eraseFailOnce == cluster) {
        eraseFailureSpent_ = true;
        silenced_ = options_.silentAfterEraseFail;
        return kErrorEraseFailed;
    }
    // Erased flash holds nothing the host wrote, and the image only keeps written bytes, so an
    // erase changes nothing the dump would show; the count lets tests see it happened.
    ++eraseCounts_[cluster];
    return kErrorNone;
}

std::uint32_t CommandExecutor::Write(const std::vector<std::uint8_t>& params) {
    if (params.size() < kWriteAddressBytes) {
        return kErrorParameterCount;
    }
    if (options_.writeError) {
        return *options_.writeError;
    }
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < kWriteAddressBytes; ++i) {
        address = (address << 8) | params[i];
    }
    if (!memory_.Write(address, params.data() + kWriteAddressBytes,
                       params.size() - kWriteAddressBytes)) {
        return kErrorAddressRange;
    }
    return kErrorNone;
}

} // namespace sim
