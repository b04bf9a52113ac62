#include "sim/virtual_device.h"

#include "platform/fd_io.h"
#include "sim/adapter_latency.h"
#include "sim/line_noise.h"
#include "sim/slave_link.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace {

// Short, so Stop() and a host that comes and goes are noticed quickly.
constexpr int kPollMilliseconds = 20;
// How long a reply may wait for room in the line's buffer before it is lost, as it would be on
// a line nobody listens to.
constexpr int kWritePatienceMs = 1000;

} // namespace

VirtualDevice::VirtualDevice(SimOptions options)
    : options_(std::move(options)), executor_(options_), filter_(options_.dropFirst),
      receiveClock_(options_.wireBaud), sendClock_(options_.wireBaud) {
    sendBuffer_.reserve(4 * sim::kMaxWireFrame);
}

VirtualDevice::~VirtualDevice() {
    Stop();
}

bool VirtualDevice::Start(std::string* error) {
    if (thread_.joinable()) {
        if (error) {
            *error = "the device is already running";
        }
        return false;
    }
    if (!pty_.Open(error)) {
        return false;
    }
    if (!options_.linkPath.empty() && !sim::PointLinkAt(options_.linkPath, SlavePath(), error)) {
        return false;
    }
    stopping_ = false;
    thread_ = std::thread(&VirtualDevice::Run, this);
    return true;
}

void VirtualDevice::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(waitMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (!options_.linkPath.empty()) {
        sim::RemoveLinkTo(options_.linkPath, SlavePath());
    }
}

sim::MemoryImage VirtualDevice::Memory() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return executor_.Memory();
}

std::vector<sim::ExecutedCommand> VirtualDevice::CommandLog() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return executor_.Log();
}

std::map<int, unsigned> VirtualDevice::EraseCounts() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::map<int, unsigned> counts;
    const auto& all = executor_.EraseCounts();
    for (std::size_t cluster = 0; cluster < all.size(); ++cluster) {
        if (all[cluster] != 0) {
            counts[static_cast<int>(cluster)] = all[cluster];
        }
    }
    return counts;
}

bool VirtualDevice::GoAnswered() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return goAnswered_;
}

bool VirtualDevice::WriteDump(std::string* error) const {
    if (options_.dumpPath.empty()) {
        return true;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    const std::string path = options_.newBoardAfterMs
                                 ? options_.dumpPath + "." + std::to_string(board_)
                                 : options_.dumpPath;
    return sim::WriteS3File(executor_.Memory(), path, error);
}

void VirtualDevice::SwapBoardWhenDue(Clock::time_point now) {
    if (!newBoardAt_ || now < *newBoardAt_) {
        return;
    }
    newBoardAt_.reset();
    filter_.Forget();
    std::lock_guard<std::mutex> lock(stateMutex_);
    executor_.NewBoard();
    ++board_;
}

bool VirtualDevice::WaitUntil(Clock::time_point when) {
    std::unique_lock<std::mutex> lock(waitMutex_);
    return !wake_.wait_until(lock, when, [this] { return stopping_.load(); });
}

void VirtualDevice::Run() {
    std::array<std::uint8_t, 512> chunk;
    const int fd = pty_.MasterFd();
    while (!stopping_) {
        // Also without traffic, so the swap shows in the snapshots when it is due.
        SwapBoardWhenDue(Clock::now());
        if (!WaitReadable(fd, kPollMilliseconds)) {
            continue;
        }
        const long count = ReadSome(fd, chunk.data(), chunk.size());
        if (count <= 0) {
            // Nothing after all, or the line is down for a moment: don't spin on it.
            if (count < 0) {
                WaitUntil(Clock::now() + std::chrono::milliseconds(kPollMilliseconds));
            }
            continue;
        }
        const auto size = static_cast<std::size_t>(count);
        if (options_.baudOnly != 0 && pty_.LineBaudRate() != options_.baudOnly) {
            // At another rate the device would only see garbage.
            decoder_.Reset();
            if (options_.trace) {
                Trace("rx", std::vector<std::uint8_t>(chunk.begin(), chunk.begin() + count),
                      "(ignored: line at another rate)");
            }
        } else {
            Receive(chunk.data(), size, Clock::now());
        }
        bytesReceived_ += size;
    }
}

void VirtualDevice::Receive(const std::uint8_t* data, std::size_t size,
                            Clock::time_point readTime) {
    for (std::size_t i = 0; i < size && !stopping_; ++i) {
        Clock::time_point arrival{};
        if (receiveClock_.Paced()) {
            arrival = receiveClock_.Advance(readTime, 1);
        }
        if (!decoder_.Push(data[i])) {
            continue;
        }
        // The device cannot act on a frame before its last byte has come down the line.
        if (receiveClock_.Paced() && !WaitUntil(arrival)) {
            return;
        }
        HandleRequest(decoder_.Current());
    }
}

void VirtualDevice::HandleRequest(const sim::Frame& request) {
    SwapBoardWhenDue(Clock::now());
    if (newBoardAt_) {
        // The board is busy with its new firmware, which does not speak the loader's protocol.
        TraceFrame("rx", request, "(ignored: the board runs its new firmware)");
        return;
    }
    switch (filter_.Classify(request)) {
    case sim::RequestKind::kNotForDevice:
        TraceFrame("rx", request, "(ignored: not for unit 0)");
        return;
    case sim::RequestKind::kDropped:
        TraceFrame("rx", request, "(dropped: first copy)");
        return;
    case sim::RequestKind::kRepeat:
        TraceFrame("rx", request, "(repeat: answered again)");
        if (filter_.LastReply()) {
            SendReply(*filter_.LastReply());
        }
        return;
    case sim::RequestKind::kNew:
        TraceFrame("rx", request, nullptr);
        break;
    }

    sim::CommandOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        outcome = executor_.Execute(request.payload);
    }
    if (outcome.started) {
        // Written before the answer, so a host that sees the answer finds the dump complete.
        std::string error;
        if (!WriteDump(&error)) {
            std::fprintf(stderr, "tovik-sim: %s\n", error.c_str());
        }
    }
    if (outcome.busy.count() > 0 && !WaitUntil(Clock::now() + outcome.busy)) {
        return;
    }
    std::optional<sim::Frame> reply;
    if (!outcome.reply.empty()) {
        reply = sim::MakeReply(request, std::move(outcome.reply));
    }
    filter_.Remember(request, reply);
    if (!reply) {
        return;
    }
    SendReply(*reply);
    if (outcome.started) {
        if (options_.newBoardAfterMs) {
            newBoardAt_ = Clock::now() + std::chrono::milliseconds(*options_.newBoardAfterMs);
        }
        std::lock_guard<std::mutex> lock(stateMutex_);
        goAnswered_ = true;
    }
}

void VirtualDevice::SendReply(const sim::Frame& reply) {
    if (options_.replyDelayMs > 0 &&
        !WaitUntil(Clock::now() + std::chrono::milliseconds(options_.replyDelayMs))) {
        return;
    }
    sendBuffer_.clear();
    if (options_.noise) {
        sim::AppendLineNoise(reply, noiseState_, sendBuffer_);
        Trace("tx", sendBuffer_, "(noise)");
    }
    const std::size_t replyStart = sendBuffer_.size();
    sim::EncodeFrame(reply, sendBuffer_);
    if (options_.trace) {
        Trace("tx", std::vector<std::uint8_t>(sendBuffer_.begin() + replyStart, sendBuffer_.end()));
    }
    Transmit(sendBuffer_);
}

void VirtualDevice::Transmit(const std::vector<std::uint8_t>& bytes) {
    if (options_.latencyMs > 0) {
        TransmitThroughAdapter(bytes);
        return;
    }
    const std::size_t burst = sendClock_.BurstBytes();
    for (std::size_t offset = 0; offset < bytes.size();) {
        const std::size_t size = std::min(burst, bytes.size() - offset);
        // Handed over once the bytes would have crossed the line, so the host sees them no sooner.
        if (sendClock_.Paced() && !WaitUntil(sendClock_.Advance(Clock::now(), size))) {
            return;
        }
        if (!HandOver(bytes.data() + offset, size)) {
            return;
        }
        offset += size;
    }
}

void VirtualDevice::TransmitThroughAdapter(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return;
    }
    // The line's schedule gives the moment the last byte is through; the others came one byte
    // time apart before it.
    const auto byteTime = sendClock_.ByteTime();
    const Clock::time_point last = sendClock_.Advance(Clock::now(), bytes.size());
    const Clock::time_point first = last - byteTime * static_cast<long long>(bytes.size() - 1);
    std::size_t offset = 0;
    for (const sim::AdapterRelease& release : sim::AdapterReleases(
             bytes.size(), first, byteTime, std::chrono::milliseconds(options_.latencyMs))) {
        if (!WaitUntil(release.when) || !HandOver(bytes.data() + offset, release.count)) {
            return;
        }
        offset += release.count;
    }
}

bool VirtualDevice::HandOver(const std::uint8_t* data, std::size_t size) {
    if (WriteAll(pty_.MasterFd(), data, size, kWritePatienceMs, &stopping_)) {
        return true;
    }
    std::fprintf(stderr, "tovik-sim: nobody reads the line, reply lost\n");
    return false;
}

void VirtualDevice::Trace(const char* direction, const std::vector<std::uint8_t>& bytes,
                          const char* note) const {
    if (!options_.trace) {
        return;
    }
    std::string line = "tovik-sim ";
    line += direction;
    line += ':';
    char hex[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(hex, sizeof(hex), " %02X", byte);
        line += hex;
    }
    if (note) {
        line += ' ';
        line += note;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

void VirtualDevice::TraceFrame(const char* direction, const sim::Frame& frame,
                               const char* note) const {
    if (!options_.trace) {
        return;
    }
    std::vector<std::uint8_t> wire;
    sim::EncodeFrame(frame, wire);
    Trace(direction, wire, note);
}
