#include "protocol/link_base.h"

#include "protocol/frame_codec.h"
#include "serial/link_lock.h"
#include "serial/serial_port.h"

#include <cstring>

CLinkBase::CLinkBase(int ownAddress, int unit) {
    m_tx[0] = static_cast<uint8_t>(ownAddress + kSourceMark);
    m_tx[1] = static_cast<uint8_t>(unit + kDestinationMark);
    m_tx[2] = kSequenceMark;
}

int CLinkBase::SelectUnit(int unit) {
    m_tx[1] = static_cast<uint8_t>(unit + kDestinationMark);
    return 0;
}

int CLinkBase::HexValue(uint8_t c, int* error) {
    return HexDigitValue(c, error);
}

void CLinkBase::DropReceived(int n) {
    std::memmove(m_rx, m_rx + n, static_cast<size_t>(m_rxLength - n));
    m_rxLength -= n;
}

CSerialLink::CSerialLink(int ownAddress, int unit) : CLinkBase(ownAddress, unit) {}

CSerialLink::~CSerialLink() {
    CLinkLockGuard lock;
    delete m_client;
    m_client = nullptr;
}

bool CSerialLink::IsConnected() {
    return m_client && m_client->IsAttached();
}

bool CSerialLink::IsPortLost() {
    return m_client && m_client->IsLost();
}

int CSerialLink::ReopenLostPort() {
    return m_client && m_client->ReopenIfLost() != 0 ? kReplyPortLost : 0;
}

int CSerialLink::SetPortParameters(int baudRate, char dataBits, char parity, char stopBits) {
    if (!m_client) {
        return -1;
    }
    return m_client->Configure(baudRate, static_cast<uint8_t>(dataBits), parity,
                               static_cast<uint8_t>(stopBits), 1);
}

void CSerialLink::BeginTransmit() {
    if (m_client) {
        m_client->BeginFrame(kFrameWriteMs);
        m_client->SetDTR(0);
        m_client->SetRTS(1);
    }
}

int CSerialLink::EndTransmit() {
    if (!m_client) {
        return 0;
    }
    m_client->SetDTR(1);
    m_client->SetRTS(0);
    return m_client->EndFrame();
}

int CSerialLink::PortIo(int code) {
    return m_client ? m_client->Transfer(code) : 0;
}
