#include "app/tovik_app.h"

#include "platform/command_line.h"
#include "platform/message_box.h"
#include "settings/profile.h"
#include "ui/wx/tovik_dlg.h"

#include <wx/filename.h>

#include <vector>

bool CTovikApp::OnInit() {
    // wxApp's own option parsing would refuse "/HANDSHAKE 3"; the option is read from the whole
    // command line by the port layer instead.
    std::vector<std::string> args;
    std::vector<const char*> argv;
    for (int i = 0; i < this->argc; ++i) {
        args.push_back(this->argv[i].utf8_string());
    }
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    SetProcessCommandLine(static_cast<int>(argv.size()), argv.data());
    std::string name = args.empty() ? "tovik" : wxFileName(args[0]).GetName().utf8_string();
    SetApplicationName(name);
    SetAppName(wxString::FromUTF8(name));
    return true;
}

int CTovikApp::OnRun() {
    CProfile profile(CProfile::DefaultPath());
    LoadComMapFromProfile(profile);
    CTovikDlg dialog(nullptr, &profile);
    SetTopWindow(&dialog);
    dialog.ShowModal();
    return 0;
}
