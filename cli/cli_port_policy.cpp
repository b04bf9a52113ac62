#include "cli/cli_port_policy.h"

#include "serial/port_status.h"

CCliPortPolicy::CCliPortPolicy(int handshake, int portIndex, const std::string& devicePath)
    : m_handshake(handshake), m_portIndex(portIndex), m_devicePath(devicePath) {
    SetPortPolicy(this);
}

CCliPortPolicy::~CCliPortPolicy() {
    SetPortPolicy(nullptr);
}

int CCliPortPolicy::HandshakeMode() {
    return HandshakeModeOfOption(m_handshake);
}

std::string CCliPortPolicy::DevicePath(int portIndex) {
    return portIndex == m_portIndex ? m_devicePath : std::string();
}

bool CCliPortPolicy::RetryOpen(int, const CPortOpenFailure&) {
    return false;
}

bool CCliPortPolicy::ReopenLost(int, const std::string&) {
    return false;
}

void CCliPortPolicy::SettingsRefused(const std::string& text) {
    // Told with the port's other notices while the run goes on.
    PostPortNotice("the driver refused the line settings: " + text);
}

bool CCliPortPolicy::GivingUpEndsRun() {
    return true;
}
