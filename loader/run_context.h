#pragma once
// What the worker and the programming pass work with: the run state, the front panel they show
// the run on, the result they fill and the outcome they end it with.

#include "loader/front_panel.h"
#include "loader/run_outcome.h"
#include "loader/run_result.h"
#include "loader/run_state.h"

#include <cstdint>
#include <functional>

class CRunContext : public CRunState {
public:
    explicit CRunContext(CFrontPanel* panel) : m_pPanel(panel) {}

    CFrontPanel* const m_pPanel;
    CRunResult m_result;
    // Told each block's address and length as the programming pass writes it (or, in a dry run,
    // would); for a listing. Set before the run begins, called on the worker's thread.
    std::function<void(uint32_t address, int length)> m_onBlock;
    // When set (before the run begins), a Stop while the start command waits for its reply ends
    // that wait at once instead of after its 60 s: all data is written by then, and a front end
    // with nobody to answer a question may need to end promptly.
    bool m_bStopAbandonsStart = false;
    // How the last run ended: set by the worker before it lets go of the run's link; cleared when
    // a run begins.
    CRunOutcome m_outcome;
    // What a stop stands for: the outcome of a run the worker did not end itself.
    std::atomic<RunEnd> m_stopAs{RunEnd::kStopped};
};

// The progress function of the programming pass: moves the panel's progress bar.
int UpdateProgress(CRunContext* dialog, int position);
