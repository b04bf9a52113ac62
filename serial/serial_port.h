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

#include "platform/serial_device.h"
#include "serial/port_list.h"

#include <cstdint>
#include <memory>

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
    // Opens the device of portIndex with these settings, asking Retry/Cancel while it fails and
    // showErrors is set. Afterwards the port is open (in the registry) or not open.
    CSerialPort(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                int showErrors);
    // Takes the port out of the registry, purges both queues and closes the device.
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // code 0..255: write that byte, returns the code; -2: 1 when a byte waits for caller, else 0;
    // -3: waits for the caller's next byte and returns it (0..255). 0 when the port is not open.
    int Transfer(int code, CPortClient* caller);

    // 0 when the settings are in force, -1 otherwise (with the system's text in an "Error" box
    // when showErrors is set and the driver refused them).
    int Configure(int baudRate, uint8_t dataBits, char parity, uint8_t stopBits, int showErrors);
    // Switch the line, in handshake mode 0 only.
    void SetDTR(int on);
    void SetRTS(int on);

    bool IsOpen() const { return m_portIndex != -1; }

    CSerialPort* m_next = nullptr;
    CSerialPort* m_prev = nullptr;
    int m_portIndex = -1;
    std::unique_ptr<CSerialDevice> m_handle; // null while there is no open device
    CClientList m_clients;
    int m_handshakeMode = 2;

private:
    bool TryOpen(uint8_t portIndex, int baudRate, uint8_t dataBits, char parity, uint8_t stopBits,
                 int showErrors);
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
    int Configure(int baudRate, uint8_t dataBits, char parity, uint8_t stopBits, int showErrors);
    void SetDTR(int on);
    void SetRTS(int on);

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
};
