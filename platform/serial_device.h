#pragma once
// The operating system's serial device, reduced to what the port layer needs.
//
// One implementation per platform (serial_device_posix.cpp, serial_device_win32.cpp), chosen by the
// build. Results: true/1 for success; on failure the device keeps the system's error text of that
// very call for LastErrorText(), captured where it happened so that clean-up cannot overwrite it.

#include <functional>
#include <memory>
#include <string>

// The line settings as the port layer sees them. Flow control is always off and is not a setting.
struct CLineSettings {
    int baudRate = 38400;
    int dataBits = 8;
    enum Parity { kNone = 0, kOdd = 1, kEven = 2 } parity = kNone;
    int stopBits = 1; // 1 or 2
    bool dtr = false; // DTR line level
    bool rts = false; // RTS line level

    bool operator==(const CLineSettings& o) const {
        return baudRate == o.baudRate && dataBits == o.dataBits && parity == o.parity &&
               stopBits == o.stopBits && dtr == o.dtr && rts == o.rts;
    }
    bool operator!=(const CLineSettings& o) const { return !(*this == o); }
};

class CSerialDevice {
public:
    virtual ~CSerialDevice() = default;

    // Opens the device of this COM index for reading and writing, for this process alone.
    virtual bool Open(int comIndex) = 0;
    // Asks the driver for input and output queues of these sizes; failures do not matter.
    virtual void SetupQueues(int inputBytes, int outputBytes) = 0;
    // Drops output not yet sent and input not yet read.
    virtual void Purge() = 0;
    // Reads the settings in force.
    virtual bool GetSettings(CLineSettings& settings) = 0;
    // Puts settings in force: rate, character format, no flow control, DTR and RTS levels.
    virtual bool SetSettings(const CLineSettings& settings) = 0;
    // Makes reads return at once with what has arrived, possibly nothing.
    virtual void SetImmediateReads() = 0;
    // Reads one byte without waiting: 1 with a byte, 0 when none is there, -1 on an error.
    virtual int ReadByte(unsigned char& byte) = 0;
    // Writes one byte; false when the system refused it.
    virtual bool WriteByte(unsigned char byte) = 0;
    // Closes the device; harmless when it is not open.
    virtual void Close() = 0;
    // The system's text for the last failed call.
    virtual std::string LastErrorText() const = 0;
};

// Creates this platform's device, or what a test installed in its place.
std::unique_ptr<CSerialDevice> CreateSerialDevice();

// Tests substitute a recording or scripted device; an empty function restores the real one.
using SerialDeviceFactory = std::function<std::unique_ptr<CSerialDevice>()>;
void SetSerialDeviceFactory(SerialDeviceFactory factory);

// The platform's own device, ignoring any installed factory.
std::unique_ptr<CSerialDevice> CreatePlatformSerialDevice();
