#pragma once
// Shared serial ports and their clients.
//
// A CPortClient is one user of a serial interface; the opened interface is a CSerialPort. The first
// client that asks for a port index opens the port, later clients with the same index join it, and
// the last one to leave closes it. Every client has a 256-byte receive ring: a byte read from the
// device goes into the ring of every client of the port, a byte one client writes goes into the
// rings of the others, so each client sees the whole line except its own transmissions.
//
// Every operation here holds the link lock (link_lock.h).
//
// A lost port: when the system says the device is gone (an adapter pulled out, a line hung up),
// the port is marked lost, with the system's account of it taken once, where it happened. From
// then on it never touches the device again: writes go nowhere, polls find nothing. Its client
// notices at its next transaction (ReopenIfLost), closes it, and opens the port again when the
// port policy (port_policy.h) says so, once per loss. port_status.h tells the front ends.

#include "platform/serial_device.h"
#include "serial/port_list.h"

#include <cstdint>
#include <memory>
#include <string>

class CPortClient;
class CSerialPort;

// A port's clients, in order of attachment.
class CClientList : public CPortList<CPortClient> {
public:
    CClientList() = default;
    // Clients still attached when their port goes (only at program end) are cut loose, not
    // deleted: they belong to whoever created them, who may still delete them later.
    virtual ~CClientList();
};

// The open ports of the process, in order of opening.
class CPortRegistry : public CPortList<CSerialPort> {
public:
    CPortRegistry() = default;
    // Closes and frees every port still open, head first.
    virtual ~CPortRegistry();
    void CloseAll();
};

// The registry of open ports; it lives, like the link lock, until the process has ended.
CPortRegistry& PortRegistry();

// The maximum number of ports the layer opens: index 0 (COM1) to 7 (COM8).
constexpr int kPortLimit = 8;

// The Retry/Cancel text shown when a port cannot be opened ("%d" is the index + 1).
extern const char* const kPortBusyMessage;

class CSerialPort {
public:
    // Opens the device of portIndex with these settings, trying again while it fails, showErrors
    // is set and the port policy says so (the dialog's: Retry). Afterwards the port is open (in
    // the registry) or not open.
    CSerialPort(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                int showErrors);
    // Takes the port out of the registry, purges both queues and closes the device.
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // code 0..255: write that byte, returns the code; -2: 1 when a byte waits for caller, else 0;
    // -3: waits for the caller's next byte and returns it (0..255), or -1 at once when the port
    // is lost and nothing is left for the caller. 0 when the port is not open.
    int Transfer(int code, CPortClient* caller);

    // 0 when the settings are in force, -1 otherwise (with the system's text in an "Error" box
    // when showErrors is set and the driver refused them). A lost port answers -1 and shows
    // nothing.
    int Configure(int baudRate, uint8_t dataBits, char parity, uint8_t stopBits, int showErrors);
    // Switch the line, in handshake mode 0 only.
    void SetDTR(int on);
    void SetRTS(int on);

    // One frame's writes share one time limit, counted from BeginFrame: a byte waits for room in
    // a full output queue only for what is left of it, and once it is used up the rest of the
    // frame is dropped. EndFrame: 0 when every byte went out, -1 otherwise.
    void BeginFrame(int timeoutMs);
    int EndFrame();

    bool IsOpen() const { return m_portIndex != -1; }
    bool IsLost() const { return m_bLost; }

    CSerialPort* m_next = nullptr;
    CSerialPort* m_prev = nullptr;
    int m_portIndex = -1;
    std::unique_ptr<CSerialDevice> m_handle; // null while there is no open device
    CClientList m_clients;
    int m_handshakeMode = 2;
    bool m_bLost = false;
    std::string m_lostReason; // the system's account of the loss, taken when it happened
    // Why the last open attempt of this port object failed (kind kNone once it is open).
    CPortOpenFailure m_openFailure;
    // The write limit of the frame being written.
    bool m_bFrameOpen = false;
    bool m_bFrameFailed = false;
    int m_frameDeadline = 0;

private:
    bool TryOpen(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                 int showErrors);
    bool OpenFailed(uint8_t portIndex, const CPortOpenFailure& failure);
    void WriteToDevice(uint8_t byte);
    void MarkLost();
    void SetLine(bool dtr, int on);
};

class CPortClient {
public:
    CPortClient(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                int showErrors);
    virtual ~CPortClient();
    CPortClient(const CPortClient&) = delete;
    CPortClient& operator=(const CPortClient&) = delete;

    bool IsAttached() const { return m_port != nullptr; }
    int Transfer(int code);
    // Also remembered as the settings with which the port is opened again after a loss.
    int Configure(int baudRate, uint8_t dataBits, char parity, uint8_t stopBits, int showErrors);
    void SetDTR(int on);
    void SetRTS(int on);
    void BeginFrame(int timeoutMs);
    // 0 when the frame went out whole (or there is no port, as before), -1 otherwise.
    int EndFrame();

    // True while the device under this client is gone: its port is lost, or the port could not
    // be opened again after a loss. The system's account of it is in the port records
    // (port_status.h).
    bool IsLost() const { return m_bLost || (m_port && m_port->IsLost()); }
    // For the start of each transaction. When the port is lost: leaves it (closing it when this
    // was its last client), asks the port policy (when the client shows errors; the dialog's
    // shows the port's Retry/Cancel message) and on yes opens the port anew, asking again while
    // that fails, as the first open does. Once per loss: after a no the client stays lost and
    // asks nothing more.
    // 0 when the client can go on (attached to a port that is not lost, or never attached), -1
    // when it is lost.
    int ReopenIfLost();

    // The ring: a full ring gives up its oldest byte for the new one, so it keeps the newest 255.
    void PutByte(uint8_t byte);
    uint8_t TakeByte();
    bool RingEmpty() const { return m_readIndex == m_writeIndex; }

    CPortClient* m_next = nullptr;
    CPortClient* m_prev = nullptr;
    uint8_t m_ring[256] = {};
    uint8_t m_writeIndex = 0;
    uint8_t m_readIndex = 0;
    CSerialPort* m_port = nullptr;

    // What the port is opened with, again after a loss.
    uint8_t m_portIndex;
    int m_baudRate;
    uint8_t m_dataBits;
    char m_parity;
    uint8_t m_stopBits;
    int m_showErrors;
    // Lost, and not attached again: the reopen after the loss was cancelled or failed.
    bool m_bLost = false;

private:
    // Joins the open port of m_portIndex or opens it (with Retry/Cancel when showing errors).
    void Attach();
    // Leaves the port, closing it when this was its last client.
    void Detach();
};
