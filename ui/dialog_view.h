#pragma once
// What the dialog's behaviour needs of its window: the controls, named by what they show. The
// wxWidgets dialog implements it on real controls; tests implement it with plain fields. All
// calls are made on the window's thread.

#include <string>

class CDialogView {
public:
    // Control IDs of the dialog's inputs and buttons.
    enum Control {
        kStart = 1000,
        kInterface = 1001,
        kBaudrate = 1002,
        kPath = 1013,
        kSearch = 1014,
        kStop = 1018
    };

    virtual ~CDialogView() = default;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowProgressRange(int lower, int upper) = 0;
    virtual void ShowProgressPos(int position) = 0;
    // The search animation: moved into view and playing, or stopped and hidden.
    virtual void PlayAnimation() = 0;
    virtual void StopAnimation() = 0;
    virtual void EnableControl(Control control, bool enable) = 0;
    // Gives the keyboard focus to "Start" when no control of the dialog has it: a control that
    // is disabled while it has the focus takes it away with it, and a dialog without a focus takes
    // no key (not even Esc) until the user clicks into it.
    virtual void FocusStartIfNothingFocused() = 0;
    virtual std::string PathText() = 0;
    virtual void SetPathText(const std::string& text) = 0;
    // Selections of the two lists; -1 when nothing is selected. Selecting an index outside the
    // list selects nothing.
    virtual int InterfaceSelection() = 0;
    virtual void SelectInterface(int index) = 0;
    virtual int BaudrateSelection() = 0;
    virtual void SelectBaudrate(int index) = 0;
    // The file chooser; false when the user cancelled.
    virtual bool ChooseFile(const std::string& initialDirectory, std::string* path) = 0;
};
