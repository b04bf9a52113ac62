// tovik.exe: the dialog as a native Windows program. It runs the main dialog modally and ends
// when the dialog has ended.

#include "platform/command_line.h"
#include "platform/message_box.h"
#include "settings/profile.h"
#include "ui/win32/dialog_parts_win32.h"
#include "ui/win32/tovik_dlg_win32.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

std::string ModulePath() {
    std::vector<char> path(MAX_PATH, '\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            return std::string(path.data(), length);
        }
        path.resize(path.size() * 2);
    }
}

// The port layer reads the HANDSHAKE option from the command line in the OEM character set.
std::string OemCommandLine() {
    std::string line = ::GetCommandLineA();
    std::vector<char> oem(line.size() + 1, '\0');
    ::CharToOemA(line.c_str(), oem.data());
    return std::string(oem.data());
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The program file's base name names the application and captions its message boxes.
    SetApplicationName(ProgramBaseName(ModulePath()));
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    SetProcessCommandLine(OemCommandLine());

    CProfile profile(CProfile::DefaultPath());
    LoadComMapFromProfile(profile);
    CTovikDlg dialog(&profile);
    // The result (IDCANCEL or IDOK) changes nothing: the program ends with the dialog.
    dialog.DoModal();
    return 0;
}
