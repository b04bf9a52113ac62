#pragma once
// What the dialog's file chooser ("search") is given, built apart from the window so that tests
// can see it without a person to close a chooser.

#include <wx/string.h>

#include <string>

struct CFileChooserSetup {
    wxString directory;
    wxString fileName;
    wxString wildcard;
    long style = 0;
};

// One filter, "All Files(*.*)", that shows every file. Where the toolkit's chooser matches the
// filter's pattern as a shell glob (globPatterns), "*.*" would hide every file without a dot in
// its name, so the pattern there is "*"; the filter keeps its name.
CFileChooserSetup FileChooserSetup(const std::string& initialDirectory, bool globPatterns);

// True where this program's toolkit reads file patterns as shell globs (GTK).
bool ToolkitReadsPatternsAsGlobs();
