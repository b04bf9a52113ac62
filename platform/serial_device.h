#pragma once
// The operating system's serial device, reduced to what the port layer needs.
//
// One implementation per platform (serial_device_posix.cpp, serial_device_win32.cpp), chosen by the
// build. Results: true/1 for success; on failure the device keeps the system's error of that very
// call for LastErrorText(), captured where it happened so that clean-up cannot overwrite it. Only
// the error code is taken at the failure; the text is made when somebody asks for it, so a line
// that fails on every 1 ms poll costs no string building.

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

// Results of ReadByte and Write.
constexpr int kIoDone = 1;    // a byte was read or written
constexpr int kIoNothing = 0; // no byte had arrived; for a write, no room came within the wait
constexpr int kIoFailed = -1; // the system refused the call (LastErrorText says why)
// The system said the device is gone (unplugged, hung up, its driver removed): nothing on this
// handle will work again. LastErrorText says how it went.
constexpr int kIoLost = -2;

// How long a single byte waits for room in a full output queue unless told otherwise.
constexpr int kStuckLineMs = 2000;

// Why a device could not be opened, for a front end to tell a person: what, why, what to do.
struct CPortOpenFailure {
    enum Kind {
        kNone = 0,        // the last open succeeded
        kNoDevice,        // no such device (unplugged, mistyped, no hardware behind the name)
        kNoAccess,        // the user may not open it (POSIX: not in the group that owns it)
        kBusy,            // another program (or another port of this one) holds it
        kNotSerial,       // a file, a directory, /dev/null, a tty without line settings
        kOwnTerminal,     // the terminal this program itself runs in
        kSettingsRefused, // opened, but the driver refused the line settings
        kNotTried,        // an index beyond the ports the layer opens (COM9 on)
        kOther,           // any other system error
    } kind = kNone;
    std::string path;   // the device as given to the system: /dev/ttyUSB0, \\.\COM3
    int osError = 0;    // errno or GetLastError() of the call that failed, 0 when none did
    std::string reason; // the system's text for it, or what makes the device unfit
    std::string fix;    // what the user can do about it; empty when nothing useful is known
    std::string group;  // kNoAccess: the group that owns the device, where the system says
    int holderPid = 0;  // kBusy: a process that has the device open, 0 when none could be found

    // One line for a person: "cannot open PATH: REASON" and the fix after a semicolon.
    std::string Text() const;
};

class CSerialDevice {
public:
    virtual ~CSerialDevice() = default;

    // Opens the device at path for reading and writing, for this process alone. Refuses what is
    // not a serial line; OpenFailure() says why an open failed.
    virtual bool Open(const std::string& path) = 0;
    // Opens the device the COM table gives this index.
    bool Open(int comIndex);
    // Why the last Open failed (kind kNone after a successful one).
    virtual CPortOpenFailure OpenFailure() const = 0;
    // Asks the driver for input and output queues of these sizes; failures do not matter.
    virtual void SetupQueues(int inputBytes, int outputBytes) = 0;
    // Asks the driver to hand over received bytes at once rather than holding them for a timer,
    // as USB adapters do. False where there is no such setting (pseudo-terminals, Windows): that
    // is harmless. RestoreLowLatency puts the driver's setting back as it was before.
    virtual bool RequestLowLatency() = 0;
    virtual void RestoreLowLatency() = 0;
    // When the adapter still holds bytes for more than 1 ms after the request: a text that says
    // how to lower its timer, for the front end to show once. Empty otherwise.
    virtual std::string LatencyAdvice() = 0;
    // Drops output not yet sent and input not yet read.
    virtual void Purge() = 0;
    // Reads the settings in force.
    virtual bool GetSettings(CLineSettings& settings) = 0;
    // Puts settings in force: rate, character format, no flow control, DTR and RTS levels.
    virtual bool SetSettings(const CLineSettings& settings) = 0;
    // Makes reads return at once with what has arrived, possibly nothing.
    virtual void SetImmediateReads() = 0;
    // Reads one byte without waiting: kIoDone, kIoNothing, kIoFailed or kIoLost.
    virtual int ReadByte(unsigned char& byte) = 0;
    // Writes one byte, waiting at most waitMs for room in a full output queue: kIoDone,
    // kIoNothing (no room in time, the byte is not sent), kIoFailed or kIoLost.
    virtual int Write(unsigned char byte, int waitMs) = 0;
    // Closes the device, putting back the line settings it had before Open; harmless when it is
    // not open.
    virtual void Close() = 0;
    // The system's text for the last failed call.
    virtual std::string LastErrorText() const = 0;

    // One byte with the usual patience for a stuck line; true when it went out.
    bool WriteByte(unsigned char byte) { return Write(byte, kStuckLineMs) == kIoDone; }
};

// Creates this platform's device, or what a test installed in its place.
std::unique_ptr<CSerialDevice> CreateSerialDevice();

// Tests substitute a recording or scripted device; an empty function restores the real one.
using SerialDeviceFactory = std::function<std::unique_ptr<CSerialDevice>()>;
void SetSerialDeviceFactory(SerialDeviceFactory factory);

// The platform's own device, ignoring any installed factory.
std::unique_ptr<CSerialDevice> CreatePlatformSerialDevice();
