#include "loader/front_panel.h"

#include "loader/run_context.h"
#include "platform/message_box.h"

void CFrontPanel::EndRun() {
    SetProgressPos(0);
    OnStop();
}

void CFrontPanel::ShowStartReply(int reply) {
    AfxMessageBox(reply == 0 ? "Transmission complete.\nDevice started." : "Transmission complete.",
                  kMbOk | kMbIconInformation);
}

void CFrontPanel::ShowWriteFailed(int) {
    AfxMessageBox("Protocollerror !", kMbOk);
}

int UpdateProgress(CRunContext* dialog, int position) {
    dialog->m_pPanel->SetProgressPos(position);
    return 0;
}
