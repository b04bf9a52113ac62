#pragma once
// A front panel that shows nothing: for passes that only read the file (a dry run, a
// measurement), where nobody watches.

#include "loader/front_panel.h"

class CSilentPanel : public CFrontPanel {
public:
    void SetProgressPos(int) override {}
    void ShowErasing() override {}
    void ShowProgramming(int) override {}
    void OnStop() override {}
};
