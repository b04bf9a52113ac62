#pragma once
// What the worker and the programming pass work with: the run state, the front panel they show
// the run on, and the result they fill.

#include "loader/front_panel.h"
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
};

// The progress function of the programming pass: moves the panel's progress bar.
int UpdateProgress(CRunContext* dialog, int position);
