#include "serial/serial_port.h"

#include "platform/clock.h"
#include "platform/com_map.h"
#include "serial/link_lock.h"
#include "serial/port_policy.h"
#include "serial/port_status.h"

#include <cstdio>

const char* const kPortBusyMessage =
    "Schnittstelle \"COM%d\" von Windos belegt oder nicht vorhanden!";

CSerialPort::CSerialPort(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity,
                         uint8_t stopBits, int showErrors)
    : m_handshakeMode(GetPortPolicy().HandshakeMode()) {
    while (!TryOpen(portIndex, baudRate, dataBits, parity, stopBits, showErrors) && showErrors &&
           GetPortPolicy().RetryOpen(portIndex, m_openFailure)) {
    }
}

bool CSerialPort::TryOpen(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity,
                          uint8_t stopBits, int showErrors) {
    CLinkLockGuard lock;
    if (portIndex >= kPortLimit) {
        CPortOpenFailure failure;
        failure.kind = CPortOpenFailure::kNotTried;
        failure.path = "COM" + std::to_string(portIndex + 1);
        failure.reason = "only COM1 to COM" + std::to_string(kPortLimit) + " can be opened";
        return OpenFailed(portIndex, failure);
    }
    std::string path = GetPortPolicy().DevicePath(portIndex);
    if (path.empty()) {
        path = ComDevicePath(portIndex);
    }
    std::unique_ptr<CSerialDevice> device = CreateSerialDevice();
    if (!device->Open(path)) {
        return OpenFailed(portIndex, device->OpenFailure());
    }
    device->SetupQueues(4096, 4096);
    device->Purge();
    m_handle = std::move(device);
    if (Configure(baudRate, dataBits, parity, stopBits, showErrors) != 0) {
        CPortOpenFailure failure;
        failure.kind = CPortOpenFailure::kSettingsRefused;
        failure.path = path;
        failure.reason = "the driver refused the line settings (" + m_handle->LastErrorText() + ")";
        m_handle->Close();
        m_handle.reset();
        return OpenFailed(portIndex, failure);
    }
    // Replies are short and come one at a time: an adapter that holds them for its timer costs
    // every transaction that time. Devices without the setting refuse, which changes nothing.
    m_handle->RequestLowLatency();
    const std::string advice = m_handle->LatencyAdvice();
    if (!advice.empty()) {
        PostPortNotice(advice);
    }
    m_portIndex = portIndex;
    m_openFailure = CPortOpenFailure{};
    PortRegistry().AddTail(this);
    RecordPortOpened(portIndex);
    return true;
}

bool CSerialPort::OpenFailed(uint8_t portIndex, const CPortOpenFailure& failure) {
    m_openFailure = failure;
    RecordPortOpenFailure(portIndex, failure);
    return false;
}

CSerialPort::~CSerialPort() {
    {
        CLinkLockGuard lock;
        if (m_portIndex != -1) {
            PortRegistry().Remove(this);
            m_portIndex = -1;
        }
        if (m_handle) {
            m_handle->RestoreLowLatency();
            m_handle->Purge();
            m_handle->Close();
            m_handle.reset();
        }
    }
    // m_clients goes after this body and cuts loose any client still attached.
}

void CSerialPort::MarkLost() {
    if (m_bLost) {
        return;
    }
    m_bLost = true;
    // Taken now, once: the device's error of the failing call, before anything overwrites it.
    m_lostReason = m_handle->LastErrorText();
    RecordPortLost(m_portIndex, m_lostReason);
}

void CSerialPort::BeginFrame(int timeoutMs) {
    CLinkLockGuard lock;
    m_bFrameOpen = true;
    m_bFrameFailed = false;
    m_frameDeadline =
        static_cast<int>(static_cast<unsigned>(NowMs()) + static_cast<unsigned>(timeoutMs));
}

int CSerialPort::EndFrame() {
    CLinkLockGuard lock;
    const bool whole = !m_bFrameFailed && !m_bLost;
    m_bFrameOpen = false;
    m_bFrameFailed = false;
    return whole ? 0 : -1;
}

void CSerialPort::WriteToDevice(uint8_t byte) {
    if (m_bLost || (m_bFrameOpen && m_bFrameFailed)) {
        // A frame with a hole is garbage to the device; the rest of it need not wait its turn.
        return;
    }
    int waitMs = kStuckLineMs;
    if (m_bFrameOpen) {
        const int left = static_cast<int>(static_cast<unsigned>(m_frameDeadline) -
                                          static_cast<unsigned>(NowMs()));
        waitMs = left > 0 ? left : 0;
    }
    const int result = m_handle->Write(byte, waitMs);
    if (result == kIoLost) {
        MarkLost();
    } else if (result != kIoDone && m_bFrameOpen) {
        m_bFrameFailed = true;
    }
}

int CSerialPort::Transfer(int code, CPortClient* caller) {
    if (m_portIndex == -1) {
        return 0;
    }
    CLinkLockGuard lock;
    if (code >= 0) {
        uint8_t byte = static_cast<uint8_t>(code);
        // A failed write is covered by the protocol's retransmission (or, for a whole frame, by
        // EndFrame); the other clients still see what was meant to go out.
        WriteToDevice(byte);
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
        if (m_bLost) {
            return 0;
        }
        uint8_t byte = 0;
        const int result = m_handle->ReadByte(byte);
        if (result == kIoLost) {
            MarkLost();
        }
        if (result != kIoDone) {
            return 0;
        }
        for (CPortClient* c = m_clients.m_head; c; c = c->m_next) {
            c->PutByte(byte);
        }
        return 1;
    }
    if (code == -3) {
        while (Transfer(-2, caller) == 0) {
            if (m_bLost) {
                return -1; // nothing more will ever come
            }
            Sleep(1);
        }
        return caller->TakeByte();
    }
    return 0;
}

CPortClient::CPortClient(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity,
                         uint8_t stopBits, int showErrors)
    : m_portIndex(portIndex), m_baudRate(baudRate), m_dataBits(dataBits), m_parity(parity),
      m_stopBits(stopBits), m_showErrors(showErrors) {
    Attach();
}

void CPortClient::Attach() {
    CLinkLockGuard lock;
    for (CSerialPort* p = PortRegistry().m_head; p; p = p->m_next) {
        if (p->m_portIndex == m_portIndex && !p->IsLost()) {
            // Joining an open port keeps the settings of the client that opened it.
            m_port = p;
            break;
        }
    }
    if (!m_port) {
        auto* port = new CSerialPort(m_portIndex, m_baudRate, m_dataBits, m_parity, m_stopBits,
                                     m_showErrors);
        if (!port->IsOpen()) {
            delete port;
            return;
        }
        m_port = port;
    }
    m_port->m_clients.AddTail(this);
}

CPortClient::~CPortClient() {
    Detach();
}

void CPortClient::Detach() {
    CLinkLockGuard lock;
    if (m_port) {
        m_port->m_clients.Remove(this);
        if (m_port->m_clients.m_count == 0) {
            delete m_port;
        }
        m_port = nullptr;
    }
}

int CPortClient::ReopenIfLost() {
    CLinkLockGuard lock;
    if (m_bLost) {
        return -1;
    }
    if (!m_port || !m_port->IsLost()) {
        return 0;
    }
    const std::string reason = m_port->m_lostReason;
    Detach();
    // Without show-errors nobody is asked: one quiet attempt, as the first open makes.
    if (!m_showErrors || GetPortPolicy().ReopenLost(m_portIndex, reason)) {
        Attach();
    }
    m_bLost = m_port == nullptr;
    return m_bLost ? -1 : 0;
}

int CPortClient::Transfer(int code) {
    return m_port ? m_port->Transfer(code, this) : 0;
}

int CPortClient::Configure(int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                           int showErrors) {
    CLinkLockGuard lock;
    m_baudRate = baudRate;
    m_dataBits = dataBits;
    m_parity = parity;
    m_stopBits = stopBits;
    return m_port ? m_port->Configure(baudRate, dataBits, parity, stopBits, showErrors) : -1;
}

void CPortClient::BeginFrame(int timeoutMs) {
    if (m_port) {
        m_port->BeginFrame(timeoutMs);
    }
}

int CPortClient::EndFrame() {
    return m_port ? m_port->EndFrame() : 0;
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
