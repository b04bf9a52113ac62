#include "serial/port_policy.h"

#include "platform/message_box.h"
#include "serial/command_line_option.h"
#include "serial/serial_port.h"

#include <atomic>
#include <cstdio>

namespace {

// A person at the dialog answers: the HANDSHAKE option of the command line, and the port's
// Retry/Cancel message for a port that cannot be opened, the first time and after a loss.
class CDialogPortPolicy : public CPortPolicy {
public:
    int HandshakeMode() override {
        return HandshakeModeOfOption(GetCommandLineOption("HANDSHAKE").Number());
    }
    std::string DevicePath(int) override { return std::string(); }
    bool RetryOpen(int portIndex, const CPortOpenFailure&) override { return AskRetry(portIndex); }
    bool ReopenLost(int portIndex, const std::string&) override { return AskRetry(portIndex); }
    void SettingsRefused(const std::string& text) override {
        ShowMessageBox(text, "Error", kMbOk | kMbIconInformation);
    }
    bool GivingUpEndsRun() override { return false; }

private:
    static bool AskRetry(int portIndex) {
        char text[128];
        std::snprintf(text, sizeof text, kPortBusyMessage, portIndex + 1);
        return AfxMessageBox(text, kMbRetryCancel) == kIdRetry;
    }
};

CDialogPortPolicy g_dialogPolicy;
std::atomic<CPortPolicy*> g_policy{nullptr};

} // namespace

int HandshakeModeOfOption(long value) {
    if (value == 1) {
        return 1;
    }
    if (value == 3) {
        return 0;
    }
    return 2;
}

void SetPortPolicy(CPortPolicy* policy) {
    g_policy = policy;
}

CPortPolicy& GetPortPolicy() {
    CPortPolicy* policy = g_policy;
    return policy ? *policy : g_dialogPolicy;
}
