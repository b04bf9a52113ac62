#include "loader/run_controller.h"

#include "loader/loader_worker.h"

#include <chrono>

namespace {

// Between looks at the worker, its panel calls are served in slices this long.
constexpr int kServeSliceMs = 5;

void ServeFor(int ms, const CRunController::ServeFunction& serve,
              const std::function<bool()>& done) {
    for (int waited = 0; waited < ms && !done(); waited += kServeSliceMs) {
        if (serve) {
            serve();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kServeSliceMs));
    }
}

} // namespace

CRunController::CRunController(CFrontPanel* panel) : CRunContext(panel) {}

CRunController::~CRunController() {
    EndThread(true, nullptr);
}

void CRunController::StartThread() {
    if (ThreadStarted()) {
        return;
    }
    m_worker = std::thread(LoaderThreadProc, this);
}

bool CRunController::BeginRun(FILE* file, int lineCount, int comIndex, int baudIndex) {
    if (m_bRun || m_bLinkHeld) {
        return false;
    }
    m_result.Clear();
    m_outcome = CRunOutcome();
    m_stopAs = RunEnd::kStopped;
    m_pFile = file;
    m_nLineCount = lineCount;
    m_nBaudIndex = baudIndex;
    m_nComIndex = comIndex;
    m_nState = kPhaseSearch;
    m_bRun = 1;
    return true;
}

bool CRunController::WaitLinkReleased(const ServeFunction& serve) {
    while (m_bRun || m_bLinkHeld) {
        if (m_bThreadEnded || !m_worker.joinable()) {
            return false;
        }
        if (serve) {
            serve();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void CRunController::EndThread(bool stopRun, const ServeFunction& serve, int stepMs) {
    if (!m_worker.joinable()) {
        return;
    }
    if (stopRun) {
        m_bRun = 0;
    }
    m_bThreadRun = false;
    // Cleared again at every look: a worker that had not yet started when the wait began sets
    // the flag when it starts.
    while (!m_bThreadEnded) {
        m_bThreadRun = false;
        ServeFor(stepMs, serve, [this] { return m_bThreadEnded.load(); });
    }
    m_worker.join();
}
