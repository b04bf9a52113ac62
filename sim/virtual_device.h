#pragma once
// Unit 0 on a pseudo-terminal: a thread reads the master side, answers requests as the device
// would, and plays the faults the options ask for. The host talks to SlavePath() as to any port.

#include "platform/pseudo_terminal.h"
#include "sim/command_executor.h"
#include "sim/frame_codec.h"
#include "sim/memory_image.h"
#include "sim/request_filter.h"
#include "sim/sim_options.h"
#include "sim/wire_clock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class VirtualDevice {
public:
    explicit VirtualDevice(SimOptions options);
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    // Opens the pseudo-terminal, makes the link if asked and starts answering.
    bool Start(std::string* error = nullptr);
    // Stops answering and waits for the device thread; safe to call more than once.
    void Stop();

    const std::string& SlavePath() const { return pty_.SlavePath(); }
    const SimOptions& Options() const { return options_; }

    // Snapshots for tests; each may be taken while the device runs.
    sim::MemoryImage Memory() const;
    std::vector<sim::ExecutedCommand> CommandLog() const;
    // Successful erases, by cluster, for every cluster erased at least once.
    std::map<int, unsigned> EraseCounts() const;
    // True once the whole answer to the start command has been handed to the line; the host may
    // already be reading it a moment before.
    bool GoAnswered() const;
    // Bytes taken off the line so far, ignored ones included.
    std::uint64_t BytesReceived() const { return bytesReceived_.load(); }

    // Writes the memory image to the dump file from the options (the board's own, when boards
    // are swapped); true when there is none.
    bool WriteDump(std::string* error = nullptr) const;

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    void Receive(const std::uint8_t* data, std::size_t size, Clock::time_point readTime);
    void HandleRequest(const sim::Frame& request);
    // Once the started board's time is up, puts a new, blank board in its place.
    void SwapBoardWhenDue(Clock::time_point now);
    void SendReply(const sim::Frame& reply);
    // Hands bytes to the host as the line (and, with a latency, the adapter) would.
    void Transmit(const std::vector<std::uint8_t>& bytes);
    void TransmitThroughAdapter(const std::vector<std::uint8_t>& bytes);
    // Writes to the host's side; false (and a note on stderr) when nobody takes the bytes.
    bool HandOver(const std::uint8_t* data, std::size_t size);
    // Waits until `when` unless the device is stopped first; false when stopped.
    bool WaitUntil(Clock::time_point when);
    void Trace(const char* direction, const std::vector<std::uint8_t>& bytes,
               const char* note = nullptr) const;
    void TraceFrame(const char* direction, const sim::Frame& frame, const char* note) const;

    const SimOptions options_;
    CPseudoTerminal pty_;
    std::thread thread_;

    std::atomic<bool> stopping_{false};
    std::mutex waitMutex_;
    std::condition_variable wake_;

    // What the accessors share with the device thread.
    mutable std::mutex stateMutex_;
    sim::CommandExecutor executor_;
    bool goAnswered_ = false;
    unsigned board_ = 1; // which board is in place, counted from 1
    std::atomic<std::uint64_t> bytesReceived_{0};

    // Used by the device thread alone.
    sim::FrameDecoder decoder_;
    sim::RequestFilter filter_;
    sim::WireClock receiveClock_;
    sim::WireClock sendClock_;
    std::uint32_t noiseState_ = 0x5EED;
    std::vector<std::uint8_t> sendBuffer_;
    // Set while a started board runs its new firmware: when the next board takes its place.
    std::optional<Clock::time_point> newBoardAt_;
};
