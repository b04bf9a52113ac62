#include "loader/front_panel.h"

#include "loader/run_context.h"

void CFrontPanel::EndRun() {
    SetProgressPos(0);
    OnStop();
}

int UpdateProgress(CRunContext* dialog, int position) {
    dialog->m_pPanel->SetProgressPos(position);
    return 0;
}
