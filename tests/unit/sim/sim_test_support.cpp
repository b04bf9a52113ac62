#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace simtest {

namespace {
bool WaitReadable(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    pollfd entry{fd, POLLIN, 0};
    return left > 0 && ::poll(&entry, 1, static_cast<int>(left)) > 0;
}
} // namespace

Bytes Request(int sequence, const std::string& command, const Bytes& params) {
    sim::Frame frame;
    frame.source = 0x7C;
    frame.destination = 0x80;
    frame.sequence = static_cast<std::uint8_t>(0xC0 | sequence);
    frame.payload.assign(command.begin(), command.end());
    frame.payload.insert(frame.payload.end(), params.begin(), params.end());
    Bytes wire;
    EXPECT_TRUE(sim::EncodeFrame(frame, wire));
    return wire;
}

std::string PayloadText(const sim::Frame& frame) {
    return std::string(frame.payload.begin(), frame.payload.end());
}

PtyHost::PtyHost(const std::string& slavePath)
    : fd_(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    termios tio{};
    if (fd_.IsValid() && ::tcgetattr(fd_.Get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_.Get(), TCSANOW, &tio);
    }
}

bool PtyHost::Write(const Bytes& bytes) {
    return ::write(fd_.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool PtyHost::SetSpeed(int baud) {
    unsigned speed = 0;
    termios tio{};
    return BaudToSpeed(baud, speed) && ::tcgetattr(fd_.Get(), &tio) == 0 &&
           ::cfsetspeed(&tio, speed) == 0 && ::tcsetattr(fd_.Get(), TCSANOW, &tio) == 0;
}

Bytes PtyHost::ReadRaw(milliseconds wait, Clock::time_point* firstByteAt) {
    const auto deadline = Clock::now() + wait;
    Bytes data;
    while (data.size() < 3 || data[data.size() - 3] != 0x0D || data[data.size() - 2] != 0x0A ||
           data.back() != 0xFF) {
        std::uint8_t byte = 0;
        if (!WaitReadable(fd_.Get(), deadline)) {
            return {};
        }
        if (::read(fd_.Get(), &byte, 1) == 1) {
            if (data.empty() && firstByteAt) {
                *firstByteAt = Clock::now();
            }
            data.push_back(byte);
        }
    }
    return data;
}

std::optional<sim::Frame> PtyHost::ReadReply(int sequence, std::vector<sim::Frame>* before) {
    const auto deadline = Clock::now() + kReplyWait;
    for (;;) {
        while (!pending_.empty()) {
            const std::uint8_t byte = pending_.front();
            pending_.erase(pending_.begin());
            if (!decoder_.Push(byte)) {
                continue;
            }
            const sim::Frame& frame = decoder_.Current();
            if (frame.source == 0x40 && frame.destination == 0xBC &&
                frame.sequence == (0xC0 | sequence)) {
                return frame;
            }
            if (before) {
                before->push_back(frame);
            }
        }
        if (!WaitReadable(fd_.Get(), deadline)) {
            return std::nullopt;
        }
        std::uint8_t chunk[256];
        const ssize_t count = ::read(fd_.Get(), chunk, sizeof(chunk));
        pending_.assign(chunk, chunk + std::max<ssize_t>(count, 0));
    }
}

SimOptions QuickOptions() {
    SimOptions options;
    options.eraseMs = 0;
    return options;
}

Rig StartRig(const SimOptions& options) {
    Rig rig;
    rig.device = std::make_unique<VirtualDevice>(options);
    std::string error;
    if (!rig.device->Start(&error)) {
        ADD_FAILURE() << "device did not start: " << error;
        rig.device.reset();
        return rig;
    }
    rig.host = std::make_unique<PtyHost>(rig.device->SlavePath());
    EXPECT_TRUE(rig.host->IsOpen());
    return rig;
}

bool WaitFor(const std::function<bool()>& condition, milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

std::string TempPath(const std::string& suffix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "tovik_sim_" + std::to_string(::getpid()) + "_" + info->name() +
           suffix;
}

std::optional<Bytes> SrecToBinary(const std::string& path) {
    const std::string binary = path + ".bin";
    const std::string command = "srec_cat '" + path + "' -o '" + binary + "' -binary 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        return std::nullopt;
    }
    std::ifstream in(binary, std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ::unlink(binary.c_str());
    return data;
}

} // namespace simtest
