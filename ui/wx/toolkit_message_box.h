#pragma once
// The core's message boxes on wxWidgets: the Windows button and icon types turned into the
// toolkit's, and the box shown modally.

#include <string>

class wxWindow;

// The toolkit's dialog style for a Windows box type: its buttons (OK; Retry/Cancel as a yes/no
// box with those labels) and exactly the icon the type asks for.
long MessageBoxStyle(unsigned type);

// Shows a message box the way the core asks for it, modal to parent; returns the Windows answer.
int ShowToolkitMessageBox(wxWindow* parent, const std::string& text, const std::string& caption,
                          unsigned type);
