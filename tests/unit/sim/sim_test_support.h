#pragma once
// A hand-driven host for the device tests: opens the slave side raw, writes request bytes and
// reads answers against a deadline, decoding with the device's own decoder.

#include "platform/unique_fd.h"
#include "sim/frame_codec.h"
#include "sim/virtual_device.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr milliseconds kReplyWait{2000};

// A request from station 60 to unit 0, as wire bytes.
Bytes Request(int sequence, const std::string& command, const Bytes& params = {});
std::string PayloadText(const sim::Frame& frame);

class PtyHost {
public:
    explicit PtyHost(const std::string& slavePath);
    bool IsOpen() const { return fd_.IsValid(); }
    bool Write(const Bytes& bytes);
    bool SetSpeed(int baud);

    // Raw bytes up to and including the first terminator; empty when none came in time.
    Bytes ReadRaw(milliseconds wait = kReplyWait, Clock::time_point* firstByteAt = nullptr);

    // Decodes frames until the reply for `sequence` arrives; the frames before it go to `before`.
    std::optional<sim::Frame> ReadReply(int sequence, std::vector<sim::Frame>* before = nullptr);

private:
    CUniqueFd fd_;
    sim::FrameDecoder decoder_;
    Bytes pending_; // read after the last reply, not decoded yet
};

// Options for quick tests: erases take no time.
SimOptions QuickOptions();

// A running device and a host on its slave side; false (with a test failure) if either failed.
struct Rig {
    std::unique_ptr<VirtualDevice> device;
    std::unique_ptr<PtyHost> host;
    explicit operator bool() const { return device && host && host->IsOpen(); }
};
Rig StartRig(const SimOptions& options);

bool WaitFor(const std::function<bool()>& condition, milliseconds wait = kReplyWait);
std::string TempPath(const std::string& suffix); // unique to the running test

// srec_cat's binary image of an S-record file, from address 0; nullopt without srec_cat.
std::optional<Bytes> SrecToBinary(const std::string& path);

} // namespace simtest
