// The process-wide state of the serial layer: the link lock and the registry of open ports.
//
// Both are created on first use and never destroyed, so a link that is destroyed late in program
// end (by a static object, or by a worker that is still finishing) never meets a lock or a
// registry that is already gone. The ports still open at exit are closed by a separate clean-up
// object, which runs while the lock is still there. It lives outside the look-up function: its
// destructor calls that function, which must not then hold a static that is being destroyed.

#include "serial/link_lock.h"
#include "serial/serial_port.h"

namespace {

struct CSerialProcess {
    std::recursive_mutex lock;
    CPortRegistry registry;
};

CSerialProcess& SerialProcess() {
    static CSerialProcess* process = new CSerialProcess;
    return *process;
}

struct CExitCleanup {
    ~CExitCleanup() { SerialProcess().registry.CloseAll(); }
};

// Destroyed at exit, after every static object constructed later (and before those constructed
// earlier, which then find the registry empty and their clients cut loose).
CExitCleanup g_exitCleanup;

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
