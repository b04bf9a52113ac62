#pragma once
// The host's end of the device protocol.
//
// CLinkBase holds the frame being built (m_tx), the bytes received (m_rx), a sequence counter per
// device unit and the state of the current command transaction, and runs command transactions:
// parameters are appended first, the command text is put in front of them, the frame is sent, and
// the reply is polled for until it arrives or the time-out passes. CSerialLink adds the port
// client; CUnitLink (unit_link.h) puts frames on the line and finds them in what comes back.
//
// Results follow one rule: 0 for success, -1 for failure, and for Execute the reply code: 0 for
// "OK", the device's error number for "ERR", -1 for a time-out or a malformed reply, and
// kReplyPortLost when the port under the link is lost.
// Only one thread uses a link; all link state is guarded by the link lock.

#include <atomic>
#include <cstdint>

// The reply code of a transaction on a lost port: the system said the device is gone (an adapter
// pulled out, a hung-up line). It comes at once, without waiting for the time-out, and so does
// every later one until the port is open again. A device that answers "ERR" with FFFFFFFC gives
// the same number; IsPortLost() tells the two apart.
constexpr int kReplyPortLost = -4;

// The time a whole frame may take to go into the driver's output queue, counted from its first
// byte; a frame that does not fit in that time is dropped and its transaction fails with -1.
constexpr int kFrameWriteMs = 2000;

class CLinkBase {
public:
    CLinkBase(int ownAddress, int unit);
    virtual ~CLinkBase() = default;
    CLinkBase(const CLinkBase&) = delete;
    CLinkBase& operator=(const CLinkBase&) = delete;

    // Addresses later frames to unit.
    virtual int SelectUnit(int unit);
    virtual bool IsConnected() = 0;
    virtual int PrepareUnit() { return 0; }
    // True while the port under the link is lost (see kReplyPortLost).
    virtual bool IsPortLost() { return false; }
    // Called at the start of every transaction: a lost port is closed and opened again, with
    // the port's Retry/Cancel message, once per loss. 0 when the transaction can go ahead,
    // kReplyPortLost when the port stays lost.
    virtual int ReopenLostPort() { return 0; }
    // Numbers and sends m_tx as the next frame to the destination unit and empties the payload.
    virtual int SendFrame() = 0;
    // Reads the waiting bytes: 0 once a frame has been accepted (its payload in m_rx), -1 when
    // they are used up without one.
    virtual int ReceiveFrame() = 0;

    // Puts n bytes (n 0: the zero-terminated text) behind the payload of the next command; bytes
    // that would not fit are dropped.
    void AppendPayload(const uint8_t* data, int n);
    void AppendPayload(const char* text) {
        AppendPayload(reinterpret_cast<const uint8_t*>(text), 0);
    }

    // One transaction: 0 when a reply repeating the command arrived before timeoutMs, else -1.
    int SendCommand(const char* command, int n, int timeoutMs);
    int SendCommandText(const char* command, int timeoutMs);
    // A transaction and its result as a reply code.
    int Execute(const char* command, int timeoutMs);
    // The payload length of an accepted frame waiting in m_rx, reading more bytes when none is
    // waiting; 0 when there is none (and at once on a lost port).
    int PollReply();

    // How many replies came after their transaction had timed out: for every command left
    // unanswered, the first frame from its unit that carries the command's sequence byte and
    // repeats its text, seen later in what the line delivered, while a later command waits or
    // seen by the drain before one. A device that falls further behind with every command
    // answers each of them long after the next has gone out; each counts. Such a reply is never
    // taken for another command; this only lets a front end say that a device answered, too
    // late, rather than that none did.
    int LateReplies() const { return m_lateReplies; }
    // True when the last transaction failed because its frame could not be handed to the line
    // within kFrameWriteMs (a stuck output queue): the device never saw the command.
    bool FrameNotSent() const { return m_frameNotSent; }
    // True when frame[0..length-1] (header, payload, checksum digits) is such a late reply,
    // counted the first time its command's reply is seen.
    bool NoteLateReply(const uint8_t* frame, int length);

    // Readers of the received payload; each removes what it reads from the front of m_rx.
    int ExpectText(const char* text, int n);
    int Consume(int n);
    int ReadHex(int* value, int n);

    static int HexValue(uint8_t c, int* error);

    int m_frameReady = 0;
    uint8_t m_unitSeq[64] = {};
    int m_rxLength = 0;
    int m_txLength = 3;
    uint8_t m_tx[256] = {};
    uint8_t m_rx[256] = {};
    int m_transactionActive = 0;
    // While set, a transaction gives up waiting for its reply (result -1) as soon as the flag it
    // points to is found 0: for a wait that may be abandoned once the frame is out.
    const std::atomic<int>* m_pWaitWhile = nullptr;

protected:
    // Removes n bytes from the front of m_rx.
    void DropReceived(int n);

private:
    // The transactions that timed out, for NoteLateReply, by the sequence number of their frame
    // (its low 6 bits): the frame's destination byte and the command text; none where the length
    // is 0. An entry holds until a new frame goes out with its sequence byte, so the replies of
    // a device that lags several commands behind are all recognised.
    struct CUnanswered {
        uint8_t m_destination = 0;
        uint8_t m_length = 0;
        bool m_counted = false; // its late reply has been seen
        uint8_t m_command[8] = {};
    };
    void RememberUnanswered(const char* command, int n);
    // The frame just sent (its header still in m_tx) takes over its sequence byte.
    void ForgetUnanswered();
    CUnanswered m_unanswered[64];
    int m_lateReplies = 0;
    bool m_frameNotSent = false;
};

class CPortClient;

// A link over a shared serial port, through its own port client.
class CSerialLink : public CLinkBase {
public:
    CSerialLink(int ownAddress, int unit);
    // Detaches the port client from its port (closing the port if it was the last).
    ~CSerialLink() override;

    bool IsConnected() override;
    bool IsPortLost() override;
    int ReopenLostPort() override;
    // The port's settings, with errors shown; -1 without a port.
    int SetPortParameters(int baudRate, char dataBits, char parity, char stopBits);
    // DTR off and RTS on before a frame, the reverse after it (only in handshake mode 0). Between
    // the two the frame's writes share kFrameWriteMs; EndTransmit returns 0 when the whole frame
    // went out (or there is no port), -1 when it ran out of time or the port was lost.
    void BeginTransmit();
    int EndTransmit();
    // 0..255 writes a byte; -2 is nonzero when a byte waits; -3 waits for the next byte.
    int PortIo(int code);

    CPortClient* m_client = nullptr;
};
