// Write transactions through the real link against the in-process virtual device: how many "!W"
// exchanges of a full block the host completes per second, and how much time the host adds to
// each one beyond what the bytes need on the line.
//
// Two runs: an unthrottled device, where every millisecond is the host's (and the pseudo-
// terminal's), and a device paced like a real 115200 baud line, where the host's share is what is
// left after the line time of the request and the reply.

#include "platform/clock.h"
#include "platform/com_map.h"
#include "platform/serial_device.h"
#include "protocol/frame_codec.h"
#include "protocol/unit_link.h"
#include "sim/virtual_device.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kHostAddress = 60;
constexpr int kDataBytes = 208;
constexpr uint32_t kBaseAddress = 0x00020000;
// The goal: the host adds less than this to every transaction (its 1 ms reply polling included).
constexpr double kGoalOverheadMs = 2.0;

struct RunResult {
    bool ok = false;
    int transactions = 0;
    double seconds = 0;
    uint64_t requestWireBytes = 0; // as encoded by the link, escapes included
    uint64_t replyWireBytes = 0;
    uint64_t deviceBytes = 0; // what the device took off the line
};

// Random data, so escapes turn up as often as in a real image; fixed seed for repeatable runs.
std::vector<uint8_t> MakeData(int size, uint32_t seed) {
    std::vector<uint8_t> data(static_cast<size_t>(size));
    for (uint8_t& b : data) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return data;
}

// Wire bytes of the reply the device gives to a write: its header answers ours, the payload is
// ":WOK".
int ReplyWireBytes(const CUnitLink& link) {
    uint8_t frame[7] = {static_cast<uint8_t>(link.m_lastFrame[1] - 0x40),
                        static_cast<uint8_t>(link.m_lastFrame[0] + 0x40),
                        link.m_lastFrame[2],
                        ':',
                        'W',
                        'O',
                        'K'};
    uint8_t wire[2 * sizeof frame + 5];
    return EncodeFrame(frame, static_cast<int>(sizeof frame), wire);
}

RunResult Run(int wireBaud, int count) {
    RunResult result;
    SimOptions options;
    options.wireBaud = wireBaud;
    VirtualDevice device(options);
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "write_transactions: the virtual device did not start: %s\n",
                     error.c_str());
        return result;
    }
    SetComDevicePath(0, device.SlavePath());
    const int hostBaud = wireBaud > 0 ? wireBaud : 115200;
    CUnitLink link(0, hostBaud, kHostAddress, 0);
    if (!link.IsConnected()) {
        std::fprintf(stderr, "write_transactions: cannot open %s\n", device.SlavePath().c_str());
        return result;
    }

    // One untimed exchange first, so the device thread and the line are warm.
    if (link.Execute("!D", 1000) != 0) {
        std::fprintf(stderr, "write_transactions: the device does not answer\n");
        return result;
    }
    const uint64_t bytesBefore = device.BytesReceived();

    std::vector<std::vector<uint8_t>> blocks;
    for (int i = 0; i < 16; ++i) {
        blocks.push_back(MakeData(kDataBytes, 0x1234u + static_cast<uint32_t>(i)));
    }
    uint8_t wire[2 * sizeof link.m_lastFrame + 5];
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const uint32_t address = kBaseAddress + static_cast<uint32_t>(i) * kDataBytes;
        const uint8_t addressBytes[4] = {
            static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        link.AppendPayload(addressBytes, 4);
        link.AppendPayload(blocks[static_cast<size_t>(i) % blocks.size()].data(), kDataBytes);
        const int reply = link.Execute("!W", kDataBytes * 30 + 1000);
        if (reply != 0) {
            std::fprintf(stderr, "write_transactions: write %d got reply %d\n", i, reply);
            return result;
        }
        // Encoded again here rather than outside the timed loop: one frame takes well under a
        // microsecond, far below what is measured.
        result.requestWireBytes +=
            static_cast<uint64_t>(EncodeFrame(link.m_lastFrame, link.m_lastFrameLength, wire));
        result.replyWireBytes += static_cast<uint64_t>(ReplyWireBytes(link));
    }
    const auto end = std::chrono::steady_clock::now();
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.transactions = count;
    // The device adds a read to its count only after answering the frame in it, so the last
    // request may not be counted yet when its reply is in.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    result.deviceBytes = device.BytesReceived() - bytesBefore;
    result.ok = true;
    return result;
}

// The two costs that make up most of an unthrottled transaction, measured on their own: the
// link's Sleep(1) between reply polls, and handing one frame's worth of bytes to the port one
// byte per call, as the port layer does.
void PrintReferenceCosts(int frameBytes) {
    constexpr int kSleeps = 500;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSleeps; ++i) {
        Sleep(1);
    }
    const double sleepMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        kSleeps;

    // An unthrottled device drains the line; idle fill (FF) never starts a frame for it.
    VirtualDevice device(SimOptions{});
    if (!device.Start()) {
        return;
    }
    SetComDevicePath(0, device.SlavePath());
    std::unique_ptr<CSerialDevice> port = CreatePlatformSerialDevice();
    if (!port->Open(0)) {
        return;
    }
    CLineSettings settings;
    settings.baudRate = 115200;
    port->SetSettings(settings);
    constexpr int kFrames = 200;
    start = std::chrono::steady_clock::now();
    for (int f = 0; f < kFrames; ++f) {
        for (int i = 0; i < frameBytes; ++i) {
            port->WriteByte(0xFF);
        }
    }
    const double writeMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        kFrames;
    port->Close();
    std::printf("reference costs on this machine: Sleep(1) takes %.3f ms; %d one-byte writes to "
                "the port take %.3f ms\n",
                sleepMs, frameBytes, writeMs);
}

int ParseCount(const char* text, int fallback) {
    if (!text) {
        return fallback;
    }
    int value = std::atoi(text);
    return value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char** argv) {
    // Optional: the number of transactions for the unthrottled and the paced run.
    const int fastCount = ParseCount(argc > 1 ? argv[1] : nullptr, 2000);
    const int pacedCount = ParseCount(argc > 2 ? argv[2] : nullptr, 300);
    constexpr int kPacedBaud = 115200;

    std::printf("== write transactions: %d data bytes per \"!W\" through CUnitLink\n", kDataBytes);
    std::printf("   goal: the host adds < %.1f ms per transaction (1 ms reply polling included)\n",
                kGoalOverheadMs);

    const RunResult fast = Run(0, fastCount);
    if (!fast.ok) {
        return 1;
    }
    const double fastMs = 1000.0 * fast.seconds / fast.transactions;
    std::printf("unthrottled device: %d transactions in %.3f s\n", fast.transactions, fast.seconds);
    std::printf("  transactions per second: %.1f\n", fast.transactions / fast.seconds);
    std::printf("  ms per transaction (host, pty and device thread): %.3f\n", fastMs);
    std::printf("  wire bytes per transaction: request %.1f (device counted %.1f), reply %.1f\n",
                static_cast<double>(fast.requestWireBytes) / fast.transactions,
                static_cast<double>(fast.deviceBytes) / fast.transactions,
                static_cast<double>(fast.replyWireBytes) / fast.transactions);

    const RunResult paced = Run(kPacedBaud, pacedCount);
    if (!paced.ok) {
        return 1;
    }
    const double bytesPerSecond = kPacedBaud / 10.0;
    const double lineSeconds =
        static_cast<double>(paced.requestWireBytes + paced.replyWireBytes) / bytesPerSecond;
    const double pacedMs = 1000.0 * paced.seconds / paced.transactions;
    const double lineMs = 1000.0 * lineSeconds / paced.transactions;
    const double overheadMs = pacedMs - lineMs;
    std::printf("device paced at %d baud: %d transactions in %.3f s\n", kPacedBaud,
                paced.transactions, paced.seconds);
    std::printf("  transactions per second: %.2f\n", paced.transactions / paced.seconds);
    std::printf("  wire bytes per transaction: request %.1f (device counted %.1f), reply %.1f\n",
                static_cast<double>(paced.requestWireBytes) / paced.transactions,
                static_cast<double>(paced.deviceBytes) / paced.transactions,
                static_cast<double>(paced.replyWireBytes) / paced.transactions);
    std::printf("  ms per transaction: %.3f, line time %.3f, host overhead %.3f\n", pacedMs, lineMs,
                overheadMs);
    std::printf("  line efficiency of the exchanges: %.3f\n", lineSeconds / paced.seconds);

    PrintReferenceCosts(static_cast<int>(fast.requestWireBytes / fast.transactions));

    const bool met = fastMs < kGoalOverheadMs && overheadMs < kGoalOverheadMs;
    std::printf("RESULT write_transactions: unthrottled %.3f ms/tx, paced overhead %.3f ms/tx "
                "(goal < %.1f) %s\n",
                fastMs, overheadMs, kGoalOverheadMs, met ? "MET" : "NOT MET");
    return 0;
}
