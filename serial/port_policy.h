#pragma once
// What the port layer asks its front end: the HANDSHAKE mode of a new port, the device a port
// index stands for, and what to do when a port cannot be opened or is lost.
//
// A front end installs its policy once, before its worker starts, and keeps it until the worker
// has ended. Without one the dialogs' policy answers: HANDSHAKE from the process's command line,
// the COM table's devices, and the Retry/Cancel question for a port that cannot be opened.

#include "platform/serial_device.h"

#include <string>

class CPortPolicy {
public:
    virtual ~CPortPolicy() = default;

    // The handshake mode of a new port: 1 holds DTR and RTS on, 0 switches them around every
    // frame, 2 holds them off.
    virtual int HandshakeMode() = 0;
    // The device to open for portIndex; empty for the one the COM table gives that index.
    virtual std::string DevicePath(int portIndex) = 0;
    // The port of portIndex could not be opened (failure says why): true to try again.
    virtual bool RetryOpen(int portIndex, const CPortOpenFailure& failure) = 0;
    // The port of portIndex was lost (reason: the system's account): true to open it again.
    virtual bool ReopenLost(int portIndex, const std::string& reason) = 0;
    // The driver refused the line settings of an open port (text: the system's account).
    virtual void SettingsRefused(const std::string& text) = 0;
    // Whether a port given up ends the run at once. The dialog's run goes on without it until a
    // person stops it (the answer to Cancel); a front end with nobody to ask ends the run.
    virtual bool GivingUpEndsRun() = 0;
};

// The handshake mode for a HANDSHAKE value: 1 is mode 1, 3 is mode 0, anything else mode 2.
int HandshakeModeOfOption(long value);

// Installs the policy (null: the dialogs' policy again). It must outlive every port it serves.
void SetPortPolicy(CPortPolicy* policy);
CPortPolicy& GetPortPolicy();
