#include "ui/wx/file_chooser.h"

#include <wx/filedlg.h>
#include <wx/platinfo.h>

CFileChooserSetup FileChooserSetup(const std::string& initialDirectory, bool globPatterns) {
    CFileChooserSetup setup;
    setup.directory = wxString::FromUTF8(initialDirectory);
    setup.fileName = "*.*";
    setup.wildcard = globPatterns ? "All Files(*.*)|*" : "All Files(*.*)|*.*";
    setup.style = wxFD_OPEN | wxFD_FILE_MUST_EXIST;
    return setup;
}

bool ToolkitReadsPatternsAsGlobs() {
    return wxPlatformInfo::Get().GetPortId() == wxPORT_GTK;
}
