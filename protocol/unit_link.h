#pragma once
// The concrete link: frames onto the line with retransmission, and frames out of the received
// byte stream with byte-wise resynchronisation.

#include "protocol/link_base.h"

class CUnitLink : public CSerialLink {
public:
    // Creates the port client for port (0 for COM1) with baud, 8N1 and errors shown.
    CUnitLink(int port, int baud, int ownAddress, int unit);

    int SelectUnit(int unit) override;
    int SendFrame() override;
    int ReceiveFrame() override;
    // Writes the retained last frame to the line again and restarts the retransmission timer;
    // 0 when the whole frame went out, -1 when it could not (see EndTransmit).
    int Transmit();

    uint8_t m_lastFrame[256] = {};
    int m_lastFrameLength = 0;
    int m_retransmitDeadline = 0;
    int m_escapePending = 0;

private:
    // Tests the buffered bytes as one frame at an unescaped CR, dropping front bytes until a frame
    // is accepted (true) or 5 or fewer bytes remain (false).
    bool SearchFrame();
    // The frame rules for m_rx[0..L-1]; true when the frame is accepted.
    bool FrameRulesPass();
};

// How often an unanswered frame is sent again during a transaction.
constexpr int kRetransmitMs = 500;
