#include "loader/front_panel.h"

void CFrontPanel::EndRun() {
    SetProgressPos(0);
    OnStop();
}

int UpdateProgress(CFrontPanel* panel, int position) {
    panel->SetProgressPos(position);
    return 0;
}
