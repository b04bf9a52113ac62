#pragma once
// The worker thread: all device work of a run.
//
// It polls the run state. When a run is wanted it creates a link to the chosen port and works
// through the phases in m_nState: search (one probe per turn, at the chosen rate or alternating
// 38400/57600), erase (clusters 1 to 7, one whole pass per turn; any failure goes back to the
// search), program (one pass of the held file, then the run ends). The link is destroyed at the
// first idle turn after a run, and before the thread reports that it has ended. Front ends do not
// start it themselves: CRunController does.

#include "loader/run_context.h"

// The thread body; returns 0. Runs until m_bThreadRun is cleared (or no file is held when a run
// is wanted), then sets m_bThreadEnded.
int LoaderThreadProc(CRunContext* dialog);

// The link's fixed addresses and the probe and erase commands.
constexpr int kHostAddress = 60;
constexpr int kDeviceUnit = 0;
constexpr int kProbeTimeoutMs = 200;
constexpr int kEraseTimeoutMs = 30000;
