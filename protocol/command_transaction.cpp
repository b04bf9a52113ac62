// Command transactions: one command in one frame, and the reply that repeats it.

#include "protocol/deadline.h"
#include "protocol/frame_codec.h"
#include "protocol/link_base.h"
#include "serial/link_lock.h"

#include <cstring>

void CLinkBase::AppendPayload(const uint8_t* data, int n) {
    if (n == 0) {
        n = static_cast<int>(std::strlen(reinterpret_cast<const char*>(data)));
    }
    if (m_txLength + n < 256) {
        std::memcpy(m_tx + m_txLength, data, static_cast<size_t>(n));
        m_txLength += n;
    }
}

int CLinkBase::SendCommand(const char* command, int n, int timeoutMs) {
    m_frameNotSent = false;
    if (m_txLength + n >= 256) {
        // The command does not fit with what was appended: nothing goes out, and the next command
        // starts from an empty payload rather than from parameters meant for this one.
        m_txLength = 3;
        return -1;
    }
    CLinkLockGuard lock;
    if (ReopenLostPort() != 0) {
        m_txLength = 3;
        return kReplyPortLost;
    }
    std::memmove(m_tx + 3 + n, m_tx + 3, static_cast<size_t>(m_txLength - 3));
    std::memcpy(m_tx + 3, command, static_cast<size_t>(n));
    m_txLength += n;

    // Drain what came since the last transaction (late replies, the tail of the last frame), so
    // that it cannot be taken for the reply to this command.
    ReceiveFrame();
    m_rxLength = 0;
    m_frameReady = 0;
    m_transactionActive = 1;
    const int sent = SendFrame();
    ForgetUnanswered();
    if (sent != 0) {
        m_transactionActive = 0;
        if (IsPortLost()) {
            return kReplyPortLost;
        }
        m_frameNotSent = true;
        return -1;
    }
    int deadline = 0;
    SetDeadline(&deadline, timeoutMs);
    const bool repeatsCommand = n > 0 && (command[0] == '!' || command[0] == '?');
    for (;;) {
        if (PollReply() != 0) {
            if (!repeatsCommand) {
                break;
            }
            if (m_rx[0] == ':' && m_rxLength >= n &&
                std::memcmp(m_rx + 1, command + 1, static_cast<size_t>(n - 1)) == 0) {
                Consume(n);
                break;
            }
        }
        if (IsPortLost()) {
            m_rxLength = 0;
            m_transactionActive = 0;
            return kReplyPortLost;
        }
        if (DeadlineExpired(&deadline) || (m_pWaitWhile && *m_pWaitWhile == 0)) {
            m_rxLength = 0;
            m_transactionActive = 0;
            if (repeatsCommand) {
                RememberUnanswered(command, n);
            }
            return -1;
        }
        Sleep(1);
    }
    m_transactionActive = 0;
    return 0;
}

void CLinkBase::RememberUnanswered(const char* command, int n) {
    // SendFrame left the frame's destination and sequence bytes in the header.
    CUnanswered& entry = m_unanswered[m_tx[2] & kAddressMask];
    if (n > static_cast<int>(sizeof entry.m_command)) {
        entry.m_length = 0;
        return;
    }
    entry.m_destination = m_tx[1];
    std::memcpy(entry.m_command, command, static_cast<size_t>(n));
    entry.m_length = static_cast<uint8_t>(n);
    entry.m_counted = false;
}

void CLinkBase::ForgetUnanswered() {
    m_unanswered[m_tx[2] & kAddressMask].m_length = 0;
}

bool CLinkBase::NoteLateReply(const uint8_t* frame, int length) {
    if (length < 5) {
        return false;
    }
    CUnanswered& entry = m_unanswered[frame[2] & kAddressMask];
    const int n = entry.m_length;
    if (n == 0 || length < 5 + n) {
        return false;
    }
    // From the unit the command went to, to this host, numbered as the command was.
    if (frame[0] != static_cast<uint8_t>(entry.m_destination - 0x40) ||
        frame[1] != static_cast<uint8_t>(m_tx[0] + 0x40) ||
        (frame[2] & kMarkMask) != kSequenceMark) {
        return false;
    }
    const uint8_t* payload = frame + 3;
    if (payload[0] != ':' || std::memcmp(payload + 1, entry.m_command + 1, size_t(n - 1)) != 0 ||
        !ReceivedChecksumMatches(frame, length)) {
        return false;
    }
    // Once per command: the answers to its retransmitted copies are one reply come late.
    if (!entry.m_counted) {
        entry.m_counted = true;
        ++m_lateReplies;
    }
    return true;
}

int CLinkBase::SendCommandText(const char* command, int timeoutMs) {
    return SendCommand(command, static_cast<int>(std::strlen(command)), timeoutMs);
}

int CLinkBase::Execute(const char* command, int timeoutMs) {
    int result = SendCommandText(command, timeoutMs);
    if (result != 0) {
        return result;
    }
    if (m_rxLength >= 2 && m_rx[0] == 'O' && m_rx[1] == 'K') {
        return 0;
    }
    if (ExpectText("ERR", 0) != 0) {
        return -1;
    }
    int value = 0;
    if (ReadHex(&value, 8) != 0) {
        return -1;
    }
    return value;
}

int CLinkBase::PollReply() {
    CLinkLockGuard lock;
    if (m_rxLength == 0) {
        m_frameReady = 0;
    }
    if (!m_frameReady) {
        m_frameReady = ReceiveFrame() == 0 ? 1 : 0;
    }
    return m_frameReady ? m_rxLength : 0;
}

int CLinkBase::ExpectText(const char* text, int n) {
    if (n == 0) {
        n = static_cast<int>(std::strlen(text));
    }
    if (n > m_rxLength) {
        return -1;
    }
    int result = 0;
    for (int i = 0; i < n && result == 0; ++i) {
        int difference = static_cast<uint8_t>(text[i]) - m_rx[i];
        result = difference > 0 ? 1 : (difference < 0 ? -1 : 0);
    }
    DropReceived(n);
    return result;
}

int CLinkBase::Consume(int n) {
    if (n > m_rxLength) {
        return -1;
    }
    DropReceived(n);
    return 0;
}

int CLinkBase::ReadHex(int* value, int n) {
    if (n > m_rxLength) {
        return -1;
    }
    int error = 0;
    uint32_t bits = 0;
    for (int i = 0; i < n; ++i) {
        bits = (bits << 4) | static_cast<uint32_t>(HexValue(m_rx[i], &error));
    }
    // The digits are a two's-complement number of 4 * n bits.
    int first = n > 0 ? HexValue(m_rx[0], nullptr) : 0;
    int64_t signedValue = bits;
    if (n >= 8) {
        signedValue = static_cast<int32_t>(bits);
    } else if (first >= 8) {
        signedValue -= int64_t{1} << (4 * n);
    }
    *value = static_cast<int>(signedValue);
    DropReceived(n);
    return error == 0 ? 0 : -1;
}
