#pragma once
// tovik-cli's answers to the port layer: the HANDSHAKE mode of --handshake, the device of --port
// (or of the virtual device) for the one port index a load uses, and no questions: a port that
// cannot be opened or is lost is given up at once and ends the run, whose outcome says why.

#include "serial/port_policy.h"

#include <string>

class CCliPortPolicy : public CPortPolicy {
public:
    // handshake: the --handshake value, -1 when not given. Installed until the object goes.
    CCliPortPolicy(int handshake, int portIndex, const std::string& devicePath);
    ~CCliPortPolicy() override;
    CCliPortPolicy(const CCliPortPolicy&) = delete;
    CCliPortPolicy& operator=(const CCliPortPolicy&) = delete;

    int HandshakeMode() override;
    std::string DevicePath(int portIndex) override;
    bool RetryOpen(int portIndex, const CPortOpenFailure& failure) override;
    bool ReopenLost(int portIndex, const std::string& reason) override;
    void SettingsRefused(const std::string& text) override;
    bool GivingUpEndsRun() override;

private:
    const int m_handshake;
    const int m_portIndex;
    const std::string m_devicePath;
};
