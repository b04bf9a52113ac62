// The Windows serial device: the DCB it hands the driver, field by field, the line levels it
// reads back, the handle that closes once, the error texts and the COM names.

#include "platform/com_map.h"
#include "platform/serial_device_win32.h"
#include "platform/unique_handle_win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

using S = CLineSettings;

// Every field of a DCB, by name.
std::string Fields(const DCB& d) {
    char text[600];
    std::snprintf(
        text, sizeof text,
        "DCBlength=%lu BaudRate=%lu fBinary=%d fParity=%d fOutxCtsFlow=%d fOutxDsrFlow=%d "
        "fDtrControl=%d fDsrSensitivity=%d fTXContinueOnXoff=%d fOutX=%d fInX=%d "
        "fErrorChar=%d fNull=%d fRtsControl=%d fAbortOnError=%d fDummy2=%#x wReserved=%d "
        "XonLim=%d XoffLim=%d ByteSize=%d Parity=%d StopBits=%d XonChar=%#x XoffChar=%#x "
        "ErrorChar=%d EofChar=%d EvtChar=%d wReserved1=%#x",
        d.DCBlength, d.BaudRate, d.fBinary, d.fParity, d.fOutxCtsFlow, d.fOutxDsrFlow,
        d.fDtrControl, d.fDsrSensitivity, d.fTXContinueOnXoff, d.fOutX, d.fInX, d.fErrorChar,
        d.fNull, d.fRtsControl, d.fAbortOnError, d.fDummy2, d.wReserved, d.XonLim, d.XoffLim,
        d.ByteSize, d.Parity, d.StopBits, d.XonChar, d.XoffChar, d.ErrorChar, d.EofChar, d.EvtChar,
        d.wReserved1);
    return text;
}

TEST(Win32Dcb, EveryFieldForEightNoneOneWithBothLinesOff) {
    // A DCB as a driver might report it: every bit set, so any field the mapping forgets shows.
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    LineSettingsToDcb(S{38400, 8, S::kNone, 1, false, false}, dcb);
    // fDummy2 and wReserved1, which the port layer has no say in, stay as the driver reported them.
    EXPECT_EQ(Fields(dcb),
              "DCBlength=28 BaudRate=38400 fBinary=1 fParity=0 fOutxCtsFlow=0 fOutxDsrFlow=0 "
              "fDtrControl=0 fDsrSensitivity=0 fTXContinueOnXoff=0 fOutX=0 fInX=0 "
              "fErrorChar=0 fNull=0 fRtsControl=0 fAbortOnError=0 fDummy2=0x1ffff wReserved=0 "
              "XonLim=2048 XoffLim=512 ByteSize=8 Parity=0 StopBits=0 XonChar=0x11 XoffChar=0x13 "
              "ErrorChar=0 EofChar=0 EvtChar=0 wReserved1=0xffff");
}

// Applied one after another to the same DCB, then read back: the line levels the handshake modes
// switch, and the parity check cleared with the kind.
TEST(Win32Dcb, LineLevelsWrittenAndReadBack) {
    // Each with its fParity, Parity, StopBits, fDtrControl and fRtsControl.
    const std::pair<CLineSettings, std::vector<DWORD>> cases[] = {
        {S{115200, 8, S::kNone, 1, true, false},
         {0, NOPARITY, ONESTOPBIT, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE}},
        {S{57600, 8, S::kNone, 1, false, true},
         {0, NOPARITY, ONESTOPBIT, DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE}},
    };
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    for (const auto& c : cases) {
        LineSettingsToDcb(c.first, dcb);
        EXPECT_EQ(std::vector<DWORD>(
                      {dcb.fParity, dcb.Parity, dcb.StopBits, dcb.fDtrControl, dcb.fRtsControl}),
                  c.second);
        CLineSettings read{1, 1, S::kOdd, 3, !c.first.dtr, !c.first.rts};
        DcbToLineSettings(dcb, read);
        EXPECT_EQ(read, c.first) << c.first.baudRate;
    }
}

TEST(Win32Handle, ClosesOnceAfterMovesAndNotAfterRelease) {
    HANDLE raw = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD flags = 0;
    {
        CUniqueHandle first(raw), second;
        second = std::move(first);
        CUniqueHandle third(std::move(second));
        EXPECT_EQ(third.Release(), raw);
    }
    ASSERT_NE(::GetHandleInformation(raw, &flags), 0);
    { CUniqueHandle owner(raw); }
    EXPECT_EQ(::GetHandleInformation(raw, &flags), 0);
}

TEST(Win32Device, ComNamesAndSystemErrorTexts) {
    EXPECT_EQ(DefaultComDevicePath(0), "\\\\.\\COM1");
    EXPECT_EQ(DefaultComDevicePath(11), "\\\\.\\COM12");
    EXPECT_EQ(DefaultComDevicePath(255), "\\\\.\\COM256");
    // COM256 is the highest number Windows gives out; no machine that runs the tests has it.
    auto device = CreatePlatformSerialDevice();
    EXPECT_FALSE(device->Open(255));
    const CPortOpenFailure f = device->OpenFailure();
    EXPECT_EQ(f.kind, CPortOpenFailure::kNoDevice);
    EXPECT_EQ(f.osError, static_cast<int>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(f.Text(), "cannot open \\\\.\\COM256: " + SystemErrorText(ERROR_FILE_NOT_FOUND) +
                            "; check the name; --list-ports lists the serial ports found");
    EXPECT_EQ(device->LastErrorText(), f.Text());
    const std::string known = SystemErrorText(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(known.empty());
    EXPECT_EQ(known.find_first_of("\r\n"), std::string::npos) << known;
    EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "error 805306367");
}

} // namespace
