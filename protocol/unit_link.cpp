#include "protocol/unit_link.h"

#include "protocol/deadline.h"
#include "protocol/frame_codec.h"
#include "protocol/frame_trace.h"
#include "serial/link_lock.h"
#include "serial/serial_port.h"

#include <cstring>

CUnitLink::CUnitLink(int port, int baud, int ownAddress, int unit) : CSerialLink(ownAddress, unit) {
    m_client = new CPortClient(static_cast<uint8_t>(port), baud, 8, 'n', 1, 1);
}

int CUnitLink::SelectUnit(int unit) {
    CLinkBase::SelectUnit(unit);
    uint8_t& sequence = m_unitSeq[unit & kAddressMask];
    if (sequence == 0) {
        int result = PrepareUnit();
        if (result != 0) {
            return result;
        }
        sequence = kSequenceMark;
        SendCommandText("?UNIT", 300);
        SendCommandText("?UNIT", 300);
    }
    return 0;
}

int CUnitLink::SendFrame() {
    CLinkLockGuard lock;
    uint8_t& sequence = m_unitSeq[m_tx[1] & kAddressMask];
    sequence = static_cast<uint8_t>((sequence + 1) | kSequenceMark);
    m_tx[2] = sequence;
    m_lastFrameLength = m_txLength;
    std::memcpy(m_lastFrame, m_tx, static_cast<size_t>(m_txLength));
    m_txLength = 3;
    return Transmit();
}

int CUnitLink::Transmit() {
    CLinkLockGuard lock;
    SetDeadline(&m_retransmitDeadline, kRetransmitMs);
    uint8_t wire[2 * sizeof m_lastFrame + 5];
    int length = EncodeFrame(m_lastFrame, m_lastFrameLength, wire);
    BeginTransmit();
    for (int i = 0; i < length; ++i) {
        PortIo(wire[i]);
    }
    const int result = EndTransmit();
    if (FrameTraceFunction trace = GetFrameTrace()) {
        trace(true, wire, length);
    }
    return result;
}

int CUnitLink::ReceiveFrame() {
    while (PortIo(-2)) {
        uint8_t b = static_cast<uint8_t>(PortIo(-3));
        if (m_rxLength >= static_cast<int>(sizeof m_rx)) {
            DropReceived(1);
        }
        if (m_escapePending) {
            m_escapePending = 0;
            m_rx[m_rxLength++] = b;
        } else if (b == kEsc) {
            m_escapePending = 1;
        } else if (b != kCr) {
            m_rx[m_rxLength++] = b;
        } else if (SearchFrame()) {
            return 0;
        }
    }
    if (m_transactionActive && DeadlineExpired(&m_retransmitDeadline)) {
        Transmit();
    }
    return -1;
}

bool CUnitLink::SearchFrame() {
    while (m_rxLength > 5) {
        // Before the rules, which a late reply fails during a transaction (its sequence byte is
        // an old one) but would pass in the drain before one: there it would set the unit's
        // sequence back to its own, and the next commands would go out with the sequence bytes
        // of commands whose replies are still on their way, to be taken for theirs.
        const bool late = NoteLateReply(m_rx, m_rxLength);
        if (!late && FrameRulesPass()) {
            if (FrameTraceFunction trace = GetFrameTrace()) {
                trace(false, m_rx, m_rxLength);
            }
            // Keep the payload only: header bytes and checksum digits go.
            int payload = m_rxLength - 5;
            std::memmove(m_rx, m_rx + 3, static_cast<size_t>(payload));
            m_rxLength = payload;
            return true;
        }
        DropReceived(1);
    }
    return false;
}

bool CUnitLink::FrameRulesPass() {
    const uint8_t source = m_rx[0];
    const uint8_t destination = m_rx[1];
    const uint8_t sequence = m_rx[2];
    if ((source & kMarkMask) != kSourceMark || (destination & kMarkMask) != kDestinationMark ||
        (sequence & kMarkMask) != kSequenceMark) {
        return false;
    }
    // During a transaction only the unit that was addressed may answer.
    if (m_transactionActive && static_cast<uint8_t>(source + 0x40) != m_tx[1]) {
        return false;
    }
    if (destination != static_cast<uint8_t>(m_tx[0] + 0x40)) {
        return false;
    }
    uint8_t& unitSequence = m_unitSeq[source & kAddressMask];
    if (m_transactionActive) {
        if (sequence != unitSequence) {
            return false;
        }
    } else {
        // Outside a transaction a frame from a unit makes it the destination of the next frame,
        // which answers it with the same sequence byte; a frame already answered is skipped.
        m_tx[1] = static_cast<uint8_t>(source + 0x40);
        if (sequence == unitSequence) {
            return false;
        }
        unitSequence = static_cast<uint8_t>((sequence - 1) | kSequenceMark);
    }
    return ReceivedChecksumMatches(m_rx, m_rxLength);
}
