#include "serial/serial_port.h"

#include "platform/clock.h"
#include "platform/message_box.h"
#include "serial/command_line_option.h"
#include "serial/link_lock.h"

#include <cstdio>

const char* const kPortBusyMessage =
    "Schnittstelle \"COM%d\" von Windos belegt oder nicht vorhanden!";

namespace {

// The handshake mode of a new port, from the command-line option: 1 holds DTR and RTS on, 3
// switches them around every frame (mode 0), anything else holds them off (mode 2).
int HandshakeModeFromCommandLine() {
    long value = GetCommandLineOption("HANDSHAKE").Number();
    if (value == 1) {
        return 1;
    }
    if (value == 3) {
        return 0;
    }
    return 2;
}

} // namespace

CSerialPort::CSerialPort(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity,
                         uint8_t stopBits, int showErrors)
    : m_handshakeMode(HandshakeModeFromCommandLine()) {
    for (;;) {
        if (TryOpen(portIndex, baudRate, dataBits, parity, stopBits, showErrors) || !showErrors) {
            return;
        }
        char text[128];
        std::snprintf(text, sizeof text, kPortBusyMessage, portIndex + 1);
        if (AfxMessageBox(text, kMbRetryCancel) != kIdRetry) {
            return;
        }
    }
}

bool CSerialPort::TryOpen(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity,
                          uint8_t stopBits, int showErrors) {
    CLinkLockGuard lock;
    if (portIndex >= kPortLimit) {
        return false;
    }
    std::unique_ptr<CSerialDevice> device = CreateSerialDevice();
    if (!device->Open(portIndex)) {
        return false;
    }
    device->SetupQueues(4096, 4096);
    device->Purge();
    m_handle = std::move(device);
    if (Configure(baudRate, dataBits, parity, stopBits, showErrors) != 0) {
        m_handle->Close();
        m_handle.reset();
        return false;
    }
    m_portIndex = portIndex;
    PortRegistry().AddTail(this);
    return true;
}

CSerialPort::~CSerialPort() {
    {
        CLinkLockGuard lock;
        if (m_portIndex != -1) {
            PortRegistry().Remove(this);
            m_portIndex = -1;
        }
        if (m_handle) {
            m_handle->Purge();
            m_handle->Close();
            m_handle.reset();
        }
    }
    // m_clients goes after this body and cuts loose any client still attached.
}

int CSerialPort::Transfer(int code, CPortClient* caller) {
    if (m_portIndex == -1) {
        return 0;
    }
    CLinkLockGuard lock;
    if (code >= 0) {
        uint8_t byte = static_cast<uint8_t>(code);
        // A failed write is covered by the protocol's retransmission; the other clients still
        // see what was meant to go out.
        m_handle->WriteByte(byte);
        for (CPortClient* c = m_clients.m_head; c; c = c->m_next) {
            if (c != caller) {
                c->PutByte(byte);
            }
        }
        return code;
    }
    if (code == -2) {
        if (!caller->RingEmpty()) {
            return 1;
        }
        uint8_t byte = 0;
        if (m_handle->ReadByte(byte) != 1) {
            return 0;
        }
        for (CPortClient* c = m_clients.m_head; c; c = c->m_next) {
            c->PutByte(byte);
        }
        return 1;
    }
    if (code == -3) {
        while (Transfer(-2, caller) == 0) {
            Sleep(1);
        }
        return caller->TakeByte();
    }
    return 0;
}

CPortClient::CPortClient(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity,
                         uint8_t stopBits, int showErrors) {
    CLinkLockGuard lock;
    for (CSerialPort* p = PortRegistry().m_head; p; p = p->m_next) {
        if (p->m_portIndex == portIndex) {
            // Joining an open port keeps the settings of the client that opened it.
            m_port = p;
            break;
        }
    }
    if (!m_port) {
        auto* port = new CSerialPort(portIndex, baudRate, dataBits, parity, stopBits, showErrors);
        if (!port->IsOpen()) {
            delete port;
            return;
        }
        m_port = port;
    }
    m_port->m_clients.AddTail(this);
}

CPortClient::~CPortClient() {
    CLinkLockGuard lock;
    if (m_port) {
        m_port->m_clients.Remove(this);
        if (m_port->m_clients.m_count == 0) {
            delete m_port;
        }
        m_port = nullptr;
    }
}

int CPortClient::Transfer(int code) {
    return m_port ? m_port->Transfer(code, this) : 0;
}

int CPortClient::Configure(int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                           int showErrors) {
    return m_port ? m_port->Configure(baudRate, dataBits, parity, stopBits, showErrors) : -1;
}

void CPortClient::SetDTR(int on) {
    if (m_port) {
        m_port->SetDTR(on);
    }
}

void CPortClient::SetRTS(int on) {
    if (m_port) {
        m_port->SetRTS(on);
    }
}

void CPortClient::PutByte(uint8_t byte) {
    m_ring[m_writeIndex++] = byte;
    if (m_writeIndex == m_readIndex) {
        // Full: the oldest unread byte makes room, rather than all 256 vanishing at once.
        ++m_readIndex;
    }
}

uint8_t CPortClient::TakeByte() {
    return m_ring[m_readIndex++];
}
