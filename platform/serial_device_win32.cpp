// The serial device on Windows: a COM port opened through the communications API.
//
// The port is opened without sharing, which is how Windows keeps every other program out. Reads
// never wait (an interval time-out of MAXDWORD with no total time-out makes ReadFile return at once
// with what has arrived); the port layer polls. No call uses overlapped I/O: one thread at a time
// holds the link lock around every call.

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
    bool Open(int comIndex) override {
        Close();
        std::string path = ComDevicePath(comIndex);
        CUniqueHandle handle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.IsValid()) {
            return Fail();
        }
        // No events are waited for; a mask left by the last owner of the port must not linger.
        ::SetCommMask(handle.Get(), 0);
        m_handle = std::move(handle);
        m_haveDcb = false;
        return true;
    }

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
        DWORD count = 0;
        if (!::ReadFile(m_handle.Get(), &byte, 1, &count, nullptr)) {
            Fail();
            return -1;
        }
        return count == 1 ? 1 : 0;
    }

    bool WriteByte(unsigned char byte) override {
        DWORD count = 0;
        if (!::WriteFile(m_handle.Get(), &byte, 1, &count, nullptr)) {
            return Fail();
        }
        if (count != 1) {
            // Only a write time-out returns without the byte, and none is set; say so plainly.
            m_lastError = SystemErrorText(ERROR_WRITE_FAULT);
            return false;
        }
        return true;
    }

    void Close() override {
        m_handle.Reset();
        m_haveDcb = false;
    }

    std::string LastErrorText() const override { return m_lastError; }

private:
    bool ReadDcb() {
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (!m_handle.IsValid()) {
            m_lastError = SystemErrorText(ERROR_INVALID_HANDLE);
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

    // Takes the error code at once: anything called after the failing call may overwrite it.
    bool Fail() {
        m_lastError = SystemErrorText(::GetLastError());
        return false;
    }

    CUniqueHandle m_handle;
    DCB m_dcb{};
    bool m_haveDcb = false;
    std::string m_lastError;
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

std::unique_ptr<CSerialDevice> CreatePlatformSerialDevice() {
    return std::make_unique<CWin32SerialDevice>();
}

std::string DefaultComDevicePath(int comIndex) {
    return "\\\\.\\COM" + std::to_string(comIndex + 1);
}
