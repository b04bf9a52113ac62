#pragma once
// A serial device for tests: records what the port layer does to it and delivers scripted input
// at chosen times on the (virtual) clock. Installed through the device factory, so the real port
// and link code runs on top of it.

#include "platform/clock.h"
#include "platform/serial_device.h"

#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct FakeLine {
    // What happened to the device, in order: "open /dev/ttyS0", "purge", "set", "close", ...
    std::vector<std::string> calls;
    std::vector<CLineSettings> settingsHistory;
    CLineSettings settings;
    std::vector<uint8_t> written;
    // Bytes to deliver, each not before its time on the clock.
    std::deque<std::pair<int, uint8_t>> input;
    bool failOpen = false;
    // How many opens fail before they succeed again (a re-plugged adapter); -1: failOpen decides.
    int failOpens = -1;
    bool failGetSettings = false;
    bool failSetSettings = false;
    // Gone from this time on the clock: reads and writes report the device lost (a pulled
    // adapter); INT_MAX while it stays.
    int goneAtMs = INT_MAX;
    // Each write needs this long before the queue has room for its byte (a stuck or slow line).
    int writeDelayMs = 0;
    // The driver's low-latency setting: refused by a pty-like line; the latency timer advice.
    bool refuseLowLatency = false;
    bool lowLatency = false;
    std::string latencyAdvice;
    int readsFromDevice = 0;
    int writesToDevice = 0;
    int errorTextsMade = 0;
    // Called with the wire bytes of each whole frame written (up to and including 0D 0A FF).
    std::function<void(const std::vector<uint8_t>&)> onFrame;

    void Deliver(const std::vector<uint8_t>& bytes, int atMs = 0) {
        for (uint8_t b : bytes) {
            input.emplace_back(atMs, b);
        }
    }
};

class FakeSerialDevice : public CSerialDevice {
public:
    explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}

    using CSerialDevice::Open;

    bool Open(const std::string& path) override {
        m_line->calls.push_back("open " + path);
        bool fail = m_line->failOpen;
        if (m_line->failOpens >= 0) {
            fail = m_line->failOpens > 0;
            if (fail) {
                --m_line->failOpens;
            }
        }
        if (!fail) {
            m_line->goneAtMs = INT_MAX; // plugged in again
        }
        return !fail;
    }
    CPortOpenFailure OpenFailure() const override {
        CPortOpenFailure f;
        f.kind = CPortOpenFailure::kNoDevice;
        f.path = "/dev/fake";
        f.reason = "no such device";
        return f;
    }
    void SetupQueues(int in, int out) override {
        m_line->calls.push_back("queues " + std::to_string(in) + " " + std::to_string(out));
    }
    bool RequestLowLatency() override {
        m_line->calls.push_back("low latency");
        if (m_line->refuseLowLatency) {
            return false;
        }
        m_added = !m_line->lowLatency;
        m_line->lowLatency = true;
        return true;
    }
    void RestoreLowLatency() override {
        m_line->calls.push_back("restore latency");
        if (m_added) {
            m_line->lowLatency = false;
            m_added = false;
        }
    }
    std::string LatencyAdvice() override { return m_line->latencyAdvice; }
    void Purge() override { m_line->calls.push_back("purge"); }
    bool GetSettings(CLineSettings& s) override {
        s = m_line->settings;
        return !m_line->failGetSettings;
    }
    bool SetSettings(const CLineSettings& s) override {
        m_line->calls.push_back("set");
        if (m_line->failSetSettings) {
            return false;
        }
        m_line->settings = s;
        m_line->settingsHistory.push_back(s);
        return true;
    }
    void SetImmediateReads() override { m_line->calls.push_back("immediate"); }
    int ReadByte(unsigned char& byte) override {
        ++m_line->readsFromDevice;
        if (Gone()) {
            return kIoLost;
        }
        if (m_line->input.empty() || m_line->input.front().first - NowMs() > 0) {
            return 0;
        }
        byte = m_line->input.front().second;
        m_line->input.pop_front();
        return 1;
    }
    int Write(unsigned char byte, int waitMs) override {
        ++m_line->writesToDevice;
        if (Gone()) {
            return kIoLost;
        }
        if (m_line->writeDelayMs > waitMs) {
            Sleep(waitMs);
            return kIoNothing;
        }
        Sleep(m_line->writeDelayMs);
        m_line->written.push_back(byte);
        m_frame.push_back(byte);
        // A frame ends at an unescaped CR followed by 0A FF.
        if (m_escaped) {
            m_escaped = false;
        } else if (byte == 0x1B && m_frame.size() > 0) {
            m_escaped = true;
        } else if (byte == 0xFF && m_frame.size() >= 3 && m_frame[m_frame.size() - 2] == 0x0A &&
                   m_frame[m_frame.size() - 3] == 0x0D) {
            std::vector<uint8_t> frame;
            frame.swap(m_frame);
            if (m_line->onFrame) {
                m_line->onFrame(frame);
            }
        }
        return kIoDone;
    }
    void Close() override { m_line->calls.push_back("close"); }
    std::string LastErrorText() const override {
        ++m_line->errorTextsMade;
        return Gone() ? "read: Input/output error" : "Invalid argument";
    }

private:
    bool Gone() const { return m_line->goneAtMs != INT_MAX && m_line->goneAtMs - NowMs() <= 0; }

    std::shared_ptr<FakeLine> m_line;
    bool m_added = false;
    std::vector<uint8_t> m_frame;
    bool m_escaped = false;
};

// Installs a fake device for the lifetime of the object; every port opened meanwhile uses line.
class FakeDeviceScope {
public:
    FakeDeviceScope() : line(std::make_shared<FakeLine>()) {
        auto shared = line;
        SetSerialDeviceFactory([shared] { return std::make_unique<FakeSerialDevice>(shared); });
    }
    ~FakeDeviceScope() { SetSerialDeviceFactory(nullptr); }
    std::shared_ptr<FakeLine> line;
};

// A virtual clock installed for the lifetime of the object.
class VirtualClockScope {
public:
    VirtualClockScope() { InstallClock(&clock); }
    ~VirtualClockScope() { InstallClock(nullptr); }
    CVirtualClock clock;
};

// The wire image of a frame, built here independently of the code under test.
inline std::vector<uint8_t> WireFrame(uint8_t source, uint8_t destination, uint8_t sequence,
                                      const std::vector<uint8_t>& payload,
                                      bool lowerCaseDigits = false) {
    std::vector<uint8_t> out;
    auto put = [&out](uint8_t b) {
        if (b == 0x1B || b == 0x0D) {
            out.push_back(0x1B);
        }
        out.push_back(b);
    };
    put(source);
    put(destination);
    put(sequence);
    unsigned sum = 0;
    for (uint8_t b : payload) {
        put(b);
        sum += b;
    }
    const char* digits = lowerCaseDigits ? "0123456789abcdef" : "0123456789ABCDEF";
    uint8_t checksum = static_cast<uint8_t>(0xFF - (sum & 0xFF));
    out.push_back(static_cast<uint8_t>(digits[checksum >> 4]));
    out.push_back(static_cast<uint8_t>(digits[checksum & 0xF]));
    out.insert(out.end(), {0x0D, 0x0A, 0xFF});
    return out;
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A reply from unit 0 to the host (station 60) with the given sequence byte.
inline std::vector<uint8_t> DeviceReply(uint8_t sequence, const std::string& payload) {
    return WireFrame(0x40, 0xBC, sequence, Bytes(payload));
}

// The payload of a frame as the host wrote it: unescaped, without header, digits and terminator.
inline std::vector<uint8_t> PayloadOf(const std::vector<uint8_t>& wire) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < wire.size(); ++i) {
        if (wire[i] == 0x1B && i + 1 < wire.size()) {
            bytes.push_back(wire[++i]);
        } else if (wire[i] == 0x0D) {
            break;
        } else {
            bytes.push_back(wire[i]);
        }
    }
    if (bytes.size() < 5) {
        return {};
    }
    return std::vector<uint8_t>(bytes.begin() + 3, bytes.end() - 2);
}

// Makes the line behave as a healthy device: every request is answered ":<letter>OK", a write
// after writeDelayMs and the others 1 ms later; seen is shown each request's payload and sequence
// first.
inline void
AnswerAllRequests(FakeLine& line, int writeDelayMs = 1,
                  std::function<void(const std::vector<uint8_t>&, uint8_t)> seen = nullptr) {
    FakeLine* l = &line;
    line.onFrame = [l, writeDelayMs, seen](const std::vector<uint8_t>& wire) {
        std::vector<uint8_t> payload = PayloadOf(wire);
        if (payload.size() >= 2) {
            if (seen) {
                seen(payload, wire[2]);
            }
            l->Deliver(DeviceReply(wire[2], ":" + std::string(1, char(payload[1])) + "OK"),
                       NowMs() + (payload[1] == 'W' ? writeDelayMs : 1));
        }
    };
}
