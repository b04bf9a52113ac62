// The process-wide state of the serial layer: the link lock and the registry of open ports.
//
// Both are created on first use and never destroyed, so a link that is destroyed late in program
// end (by a static object, or by a worker that is still finishing) never meets a lock or a
// registry that is already gone. The ports still open at exit are closed by a separate clean-up
// object, which runs while the lock is still there.

#include "serial/link_lock.h"
#include "serial/serial_port.h"

namespace {

struct CSerialProcess {
    std::recursive_mutex lock;
    CPortRegistry registry;
};

struct CExitCleanup {
    ~CExitCleanup();
};

CSerialProcess& SerialProcess() {
    static CSerialProcess* process = new CSerialProcess;
    static CExitCleanup cleanup;
    return *process;
}

CExitCleanup::~CExitCleanup() {
    SerialProcess().registry.CloseAll();
}

} // namespace

std::recursive_mutex& LinkLock() {
    return SerialProcess().lock;
}

CPortRegistry& PortRegistry() {
    return SerialProcess().registry;
}

CPortRegistry::~CPortRegistry() {
    CloseAll();
}

void CPortRegistry::CloseAll() {
    CLinkLockGuard lock;
    while (CSerialPort* port = RemoveHead()) {
        delete port;
    }
}

CClientList::~CClientList() {
    CLinkLockGuard lock;
    while (CPortClient* client = RemoveHead()) {
        client->m_port = nullptr;
    }
}
