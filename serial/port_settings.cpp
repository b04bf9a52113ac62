// Line settings and line control of an open port.

#include "serial/link_lock.h"
#include "serial/port_policy.h"
#include "serial/serial_port.h"

namespace {

CLineSettings::Parity ParityFromLetter(char parity) {
    switch (parity) {
    case 'E':
    case 'e':
        return CLineSettings::kEven;
    case 'O':
    case 'o':
        return CLineSettings::kOdd;
    default:
        return CLineSettings::kNone;
    }
}

} // namespace

int CSerialPort::Configure(int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                           int showErrors) {
    CLinkLockGuard lock;
    CLineSettings settings;
    // A lost port has nothing to set; its client opens it anew at the next transaction.
    if (!m_handle || m_bLost || !m_handle->GetSettings(settings)) {
        return -1;
    }
    settings.baudRate = baudRate;
    settings.dataBits = dataBits;
    settings.parity = ParityFromLetter(parity);
    // One and a half stop bits are never asked for; anything but 2 means one.
    settings.stopBits = stopBits == 2 ? 2 : 1;
    // Held on in mode 1; in modes 0 and 2 both start off (mode 0 switches them per frame).
    settings.dtr = settings.rts = (m_handshakeMode == 1);
    if (m_handle->SetSettings(settings)) {
        m_handle->SetImmediateReads();
        return 0;
    }
    if (showErrors) {
        GetPortPolicy().SettingsRefused(m_handle->LastErrorText());
    }
    return -1;
}

void CSerialPort::SetLine(bool dtr, int on) {
    if (!m_handle || m_handshakeMode != 0 || m_bLost) {
        return;
    }
    CLinkLockGuard lock;
    CLineSettings settings;
    if (m_handle->GetSettings(settings)) {
        (dtr ? settings.dtr : settings.rts) = (on != 0);
        m_handle->SetSettings(settings);
    }
}

void CSerialPort::SetDTR(int on) {
    SetLine(true, on);
}

void CSerialPort::SetRTS(int on) {
    SetLine(false, on);
}
