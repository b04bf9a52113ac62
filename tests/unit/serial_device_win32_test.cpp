// The Windows serial device: the DCB it hands the driver, field by field, the settings it reads
// back, the handle that closes once, the error texts and the COM names.

#include "platform/com_map.h"
#include "platform/serial_device_win32.h"
#include "platform/unique_handle_win32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A DCB as a driver might report it: every bit set, so any field the mapping forgets shows.
DCB DcbWithEveryBitSet() {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    return dcb;
}

CLineSettings Settings(int baud, int dataBits, CLineSettings::Parity parity, int stopBits, bool dtr,
                       bool rts) {
    CLineSettings s;
    s.baudRate = baud;
    s.dataBits = dataBits;
    s.parity = parity;
    s.stopBits = stopBits;
    s.dtr = dtr;
    s.rts = rts;
    return s;
}

TEST(Win32Dcb, EveryFieldForEightNoneOneWithBothLinesOff) {
    DCB dcb = DcbWithEveryBitSet();
    LineSettingsToDcb(Settings(38400, 8, CLineSettings::kNone, 1, false, false), dcb);
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 38400u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.wReserved, 0u);
    EXPECT_EQ(dcb.XonLim, 2048u);
    EXPECT_EQ(dcb.XoffLim, 512u);
    EXPECT_EQ(dcb.ByteSize, 8u);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);
    // What the port layer has no say in stays as the driver reported it.
    EXPECT_EQ(dcb.fDummy2, 0x1FFFFu);
    EXPECT_EQ(dcb.wReserved1, 0xFFFFu);
}

TEST(Win32Dcb, ParityStopBitsAndLineLevels) {
    DCB dcb = DcbWithEveryBitSet();
    LineSettingsToDcb(Settings(115200, 7, CLineSettings::kEven, 2, true, false), dcb);
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 7u);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.Parity, 2);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.StopBits, 2);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));

    LineSettingsToDcb(Settings(57600, 8, CLineSettings::kOdd, 1, false, true), dcb);
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.Parity, ODDPARITY);
    EXPECT_EQ(dcb.Parity, 1);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));

    // Turning parity off again clears the check as well as the kind.
    LineSettingsToDcb(Settings(57600, 8, CLineSettings::kNone, 1, true, true), dcb);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
}

TEST(Win32Dcb, SettingsReadBackAsWritten) {
    const CLineSettings cases[] = {
        Settings(38400, 8, CLineSettings::kNone, 1, false, false),
        Settings(57600, 7, CLineSettings::kEven, 2, true, false),
        Settings(115200, 8, CLineSettings::kOdd, 1, false, true),
        Settings(9600, 5, CLineSettings::kNone, 2, true, true),
    };
    for (const CLineSettings& written : cases) {
        DCB dcb = DcbWithEveryBitSet();
        LineSettingsToDcb(written, dcb);
        CLineSettings read = Settings(1, 1, CLineSettings::kOdd, 3, !written.dtr, !written.rts);
        DcbToLineSettings(dcb, read);
        EXPECT_EQ(read, written) << written.baudRate;
    }
}

TEST(Win32Dcb, ForeignDriverStatesReadAsTheNearestSetting) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = ONE5STOPBITS;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    CLineSettings s;
    DcbToLineSettings(dcb, s);
    EXPECT_EQ(s.parity, CLineSettings::kNone);
    EXPECT_EQ(s.stopBits, 1);
    // A line under handshake control is not held off.
    EXPECT_TRUE(s.dtr);
    EXPECT_TRUE(s.rts);
    dcb.Parity = SPACEPARITY;
    DcbToLineSettings(dcb, s);
    EXPECT_EQ(s.parity, CLineSettings::kNone);
}

// Whether the handle still refers to an open object.
bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != 0;
}

TEST(Win32Handle, ClosesOnceAndMovesOwnership) {
    HANDLE raw = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        CUniqueHandle first(raw);
        CUniqueHandle second(std::move(first));
        EXPECT_FALSE(first.IsValid());
        first.Reset(); // nothing to close: the handle has moved on
        EXPECT_TRUE(IsOpen(raw));
        CUniqueHandle third;
        third = std::move(second);
        EXPECT_FALSE(second.IsValid());
        EXPECT_TRUE(IsOpen(raw));
        EXPECT_EQ(third.Get(), raw);
    }
    EXPECT_FALSE(IsOpen(raw));
}

TEST(Win32Handle, ReleaseGivesUpOwnershipAndInvalidValuesAreNeverClosed) {
    HANDLE raw = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        CUniqueHandle owner(raw);
        EXPECT_EQ(owner.Release(), raw);
    }
    EXPECT_TRUE(IsOpen(raw));
    ::CloseHandle(raw);
    CUniqueHandle failedCreate(INVALID_HANDLE_VALUE);
    CUniqueHandle failedOther(nullptr);
    EXPECT_FALSE(failedCreate.IsValid());
    EXPECT_FALSE(failedOther.IsValid());
}

TEST(Win32Device, ComNamesReachPastCom9) {
    EXPECT_EQ(DefaultComDevicePath(0), "\\\\.\\COM1");
    EXPECT_EQ(DefaultComDevicePath(8), "\\\\.\\COM9");
    EXPECT_EQ(DefaultComDevicePath(11), "\\\\.\\COM12");
    EXPECT_EQ(DefaultComDevicePath(255), "\\\\.\\COM256");
}

TEST(Win32Device, OpenFailureKeepsTheSystemText) {
    // COM256 is the highest number Windows gives out; no machine that runs the tests has it.
    auto device = CreatePlatformSerialDevice();
    EXPECT_FALSE(device->Open(255));
    const std::string text = device->LastErrorText();
    EXPECT_EQ(text, SystemErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    // Calls on a device that is not open fail harmlessly.
    CLineSettings s;
    EXPECT_FALSE(device->GetSettings(s));
    device->Purge();
    device->SetImmediateReads();
    device->Close();
}

TEST(Win32Device, ErrorTextsHaveNoLineBreakAndUnknownCodesAName) {
    const std::string known = SystemErrorText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(known.empty());
    EXPECT_EQ(known.find_first_of("\r\n"), std::string::npos) << known;
    EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "error 805306367");
}

} // namespace
