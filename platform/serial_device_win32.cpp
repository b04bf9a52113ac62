// The serial device on Windows: a COM port opened through the communications API.
//
// The port is opened without sharing, which is how Windows keeps every other program out. Reads
// never wait (an interval time-out of MAXDWORD with no total time-out makes ReadFile return at once
// with what has arrived); the port layer polls. No call uses overlapped I/O: one thread at a time
// holds the link lock around every call.
//
// A USB adapter that is pulled out leaves its handle behind; every later call on it fails with one
// of a handful of errors (IsDeviceGoneError), and the port layer is told that the device is lost.
// Writes keep the no-time-out setting the port layer asks for, so they wait for the driver, which
// sends with no flow control and so never holds a byte for long.

#include "platform/serial_device_win32.h"

#include "platform/com_map.h"
#include "platform/serial_device.h"
#include "platform/unique_handle_win32.h"

#include <string>

namespace {

// DCBlength must match what the driver expects; the layout is the same for 32 and 64 bits.
static_assert(sizeof(DCB) == 28, "unexpected DCB layout");

class CWin32SerialDevice : public CSerialDevice {
public:
    ~CWin32SerialDevice() override { Close(); }

    using CSerialDevice::Open;

    bool Open(const std::string& path) override {
        Close();
        CUniqueHandle handle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.IsValid()) {
            m_failure = ExplainOpenError(path, ::GetLastError());
            m_error = m_failure.osError;
            return false;
        }
        m_failure = CPortOpenFailure{};
        m_lost = false;
        // What the last owner left is put back at the close, as on POSIX.
        m_original.DCBlength = sizeof(DCB);
        m_haveOriginal = ::GetCommState(handle.Get(), &m_original) &&
                         ::GetCommTimeouts(handle.Get(), &m_originalTimeouts);
        // No events are waited for; a mask left by the last owner of the port must not linger.
        ::SetCommMask(handle.Get(), 0);
        m_handle = std::move(handle);
        m_haveDcb = false;
        return true;
    }

    CPortOpenFailure OpenFailure() const override { return m_failure; }

    // Windows has no portable call for an adapter's latency; its driver settings hold it.
    bool RequestLowLatency() override { return false; }
    void RestoreLowLatency() override {}
    std::string LatencyAdvice() override { return std::string(); }

    void SetupQueues(int inputBytes, int outputBytes) override {
        if (m_handle.IsValid()) {
            ::SetupComm(m_handle.Get(), static_cast<DWORD>(inputBytes),
                        static_cast<DWORD>(outputBytes));
        }
    }

    void Purge() override {
        if (m_handle.IsValid()) {
            ::PurgeComm(m_handle.Get(),
                        PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        }
    }

    bool GetSettings(CLineSettings& settings) override {
        if (!ReadDcb()) {
            return false;
        }
        DcbToLineSettings(m_dcb, settings);
        return true;
    }

    bool SetSettings(const CLineSettings& settings) override {
        // The port layer reads the settings just before it changes them; that DCB is reused, so
        // a change costs one GetCommState and one SetCommState as it always has.
        if (!m_haveDcb && !ReadDcb()) {
            return false;
        }
        DCB dcb = m_dcb;
        LineSettingsToDcb(settings, dcb);
        if (!::SetCommState(m_handle.Get(), &dcb)) {
            // What the driver keeps after a refusal is unknown: read it afresh next time.
            m_haveDcb = false;
            return Fail();
        }
        m_dcb = dcb;
        return true;
    }

    void SetImmediateReads() override {
        if (!m_handle.IsValid()) {
            return;
        }
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 0;
        ::SetCommTimeouts(m_handle.Get(), &timeouts);
    }

    int ReadByte(unsigned char& byte) override {
        if (m_lost) {
            return kIoLost;
        }
        DWORD count = 0;
        if (!::ReadFile(m_handle.Get(), &byte, 1, &count, nullptr)) {
            return IoFailed();
        }
        return count == 1 ? kIoDone : kIoNothing;
    }

    int Write(unsigned char byte, int) override {
        if (m_lost) {
            return kIoLost;
        }
        DWORD count = 0;
        if (!::WriteFile(m_handle.Get(), &byte, 1, &count, nullptr)) {
            return IoFailed();
        }
        if (count != 1) {
            // Only a write time-out returns without the byte, and none is set; say so plainly.
            m_error = ERROR_WRITE_FAULT;
            return kIoFailed;
        }
        return kIoDone;
    }

    void Close() override {
        if (m_handle.IsValid() && m_haveOriginal && !m_lost) {
            ::SetCommState(m_handle.Get(), &m_original);
            ::SetCommTimeouts(m_handle.Get(), &m_originalTimeouts);
        }
        m_haveOriginal = false;
        m_handle.Reset();
        m_haveDcb = false;
    }

    std::string LastErrorText() const override {
        if (m_failure.kind != CPortOpenFailure::kNone) {
            return m_failure.Text();
        }
        return SystemErrorText(m_error);
    }

private:
    bool ReadDcb() {
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (!m_handle.IsValid()) {
            m_error = ERROR_INVALID_HANDLE;
            return false;
        }
        if (!::GetCommState(m_handle.Get(), &dcb)) {
            m_haveDcb = false;
            return Fail();
        }
        m_dcb = dcb;
        m_haveDcb = true;
        return true;
    }

    // Takes the error code at once: anything called after the failing call may overwrite it. The
    // text is made only when it is asked for.
    bool Fail() {
        m_error = ::GetLastError();
        return false;
    }

    int IoFailed() {
        Fail();
        if (IsDeviceGoneError(m_error)) {
            m_lost = true;
            return kIoLost;
        }
        return kIoFailed;
    }

    CUniqueHandle m_handle;
    DCB m_dcb{};
    bool m_haveDcb = false;
    DCB m_original{};
    COMMTIMEOUTS m_originalTimeouts{};
    bool m_haveOriginal = false;
    bool m_lost = false;
    DWORD m_error = 0;
    CPortOpenFailure m_failure;
};

} // namespace

void LineSettingsToDcb(const CLineSettings& settings, DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
    dcb.fBinary = 1; // Windows supports nothing else
    dcb.fParity = settings.parity != CLineSettings::kNone ? 1 : 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0; // frames carry 00 bytes; they must not be dropped
    dcb.fRtsControl = settings.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0; // a line error must not stall every later read and write
    dcb.wReserved = 0;
    // Unused while XON/XOFF is off, but the driver checks them against the queue sizes.
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    switch (settings.parity) {
    case CLineSettings::kEven:
        dcb.Parity = EVENPARITY;
        break;
    case CLineSettings::kOdd:
        dcb.Parity = ODDPARITY;
        break;
    default:
        dcb.Parity = NOPARITY;
        break;
    }
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
}

void DcbToLineSettings(const DCB& dcb, CLineSettings& settings) {
    settings.baudRate = static_cast<int>(dcb.BaudRate);
    settings.dataBits = dcb.ByteSize;
    switch (dcb.Parity) {
    case EVENPARITY:
        settings.parity = CLineSettings::kEven;
        break;
    case ODDPARITY:
        settings.parity = CLineSettings::kOdd;
        break;
    default:
        settings.parity = CLineSettings::kNone;
        break;
    }
    settings.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
    // Handshake control of a line (set by some other program) counts as "on": the line is up.
    settings.dtr = dcb.fDtrControl != DTR_CONTROL_DISABLE;
    settings.rts = dcb.fRtsControl != RTS_CONTROL_DISABLE;
}

std::string SystemErrorText(DWORD error) {
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                        FORMAT_MESSAGE_FROM_SYSTEM,
                                    nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                    reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text.assign(buffer, length);
    }
    if (buffer != nullptr) {
        ::LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = "error " + std::to_string(error);
    }
    return text;
}

bool IsDeviceGoneError(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_BAD_COMMAND:
    case ERROR_FILE_NOT_FOUND:
        return true;
    default:
        return false;
    }
}

CPortOpenFailure ExplainOpenError(const std::string& path, DWORD error) {
    CPortOpenFailure f;
    f.path = path;
    f.osError = static_cast<int>(error);
    f.reason = SystemErrorText(error);
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        f.kind = CPortOpenFailure::kNoDevice;
        f.fix = "check the name; --list-ports lists the serial ports found";
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        // A COM port is opened without sharing: a refusal means that somebody else has it.
        f.kind = CPortOpenFailure::kBusy;
        f.reason = "in use by another program (" + f.reason + ")";
        f.fix = "close the program that uses the port";
        break;
    default:
        f.kind = CPortOpenFailure::kOther;
        break;
    }
    return f;
}

std::unique_ptr<CSerialDevice> CreatePlatformSerialDevice() {
    return std::make_unique<CWin32SerialDevice>();
}

std::string DefaultComDevicePath(int comIndex) {
    return "\\\\.\\COM" + std::to_string(comIndex + 1);
}
