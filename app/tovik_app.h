#pragma once
// The desktop program: it runs the main dialog modally and ends when the dialog has ended.

#include <wx/app.h>

class CTovikApp : public wxApp {
public:
    // Sets up the application's name (the caption of its message boxes), the command line for
    // the HANDSHAKE option and the interface map from the profile.
    bool OnInit() override;
    // Runs the dialog; the program ends with it.
    int OnRun() override;
};
