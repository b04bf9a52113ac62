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
// "OK", the device's error number for "ERR", -1 for a time-out or a malformed reply.
// Only one thread uses a link; all link state is guarded by the link lock.

#include <atomic>
#include <cstdint>

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
    // waiting; 0 when there is none.
    int PollReply();

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
};

class CPortClient;

// A link over a shared serial port, through its own port client.
class CSerialLink : public CLinkBase {
public:
    CSerialLink(int ownAddress, int unit);
    // Detaches the port client from its port (closing the port if it was the last).
    ~CSerialLink() override;

    bool IsConnected() override;
    // The port's settings, with errors shown; -1 without a port.
    int SetPortParameters(int baudRate, char dataBits, char parity, char stopBits);
    // DTR off and RTS on before a frame, the reverse after it (only in handshake mode 0).
    void BeginTransmit();
    void EndTransmit();
    // 0..255 writes a byte; -2 is nonzero when a byte waits; -3 waits for the next byte.
    int PortIo(int code);

    CPortClient* m_client = nullptr;
};
