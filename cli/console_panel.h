#pragma once
// The front panel of tovik-cli: the run's phase and progress on stderr, as one updating line on a
// terminal and as plain lines otherwise, and what a run ended with, for the exit code.

#include "loader/front_panel.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class CConsolePanel : public CFrontPanel {
public:
    // totalBytes: the file's data bytes, for the percentage, rate and time left while programming.
    CConsolePanel(FILE* progressOut, bool quiet, bool terminal, uint64_t totalBytes);

    void SetProgressPos(int position) override;
    void ShowErasing() override;
    void ShowProgramming() override;
    void OnStop() override;
    // The finished line stays as it was; only then the position goes back to 0.
    void EndRun() override;
    void OnProbe(int baudRate) override;
    void OnBlockWritten(uint32_t address, int length, int replyCode) override;
    void OnProgramEnd(int result, int startReply) override;

    // Ends an open progress line so that a message can be printed below it.
    void BreakLine() { EndLine(); }

    // Each block's address and length to this stream as it is written (the dry run's listing).
    void ListBlocksTo(FILE* out) { m_blockList = out; }

    // Set once a probe was answered (the first erase pass began).
    std::atomic<bool> m_bDeviceFound{false};
    std::atomic<bool> m_bProgramEnded{false};
    // A write got a reply code other than 0. The pass then ends with that code, which can look
    // like a record result or one of the pass's own results, so this is what tells them apart.
    std::atomic<bool> m_bWriteRefused{false};
    std::atomic<int> m_nProgramResult{0};
    std::atomic<int> m_nStartReply{-1};
    uint64_t BytesWritten() const { return m_bytesWritten; }
    int BlocksWritten() const { return m_blocksWritten; }

private:
    enum class Phase { kIdle, kSearching, kErasing, kProgramming };
    using Clock = std::chrono::steady_clock;

    void Render(bool phaseChanged);
    std::string Line() const;
    void EndLine();

    FILE* m_out;
    const bool m_quiet;
    const bool m_terminal;
    const uint64_t m_totalBytes;
    FILE* m_blockList = nullptr;

    Phase m_phase = Phase::kIdle;
    int m_position = 0;
    int m_rangeEnd = 100;
    int m_probeRate = 0;
    uint64_t m_bytesWritten = 0;
    int m_blocksWritten = 0;
    Clock::time_point m_phaseStart = Clock::now();
    Clock::time_point m_lastDraw{};
    int m_lastPlainTenth = -1;
    int m_loggedProbeRate = 0;
    bool m_lineOpen = false;
};
