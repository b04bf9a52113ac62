#pragma once
// What the dialog's behaviour needs of its window: the controls, named by what they show, and
// the few things only a toolkit can do (focus, boxes, ending the dialog). Each window implements
// it on real controls; tests implement it with plain fields. All calls are made on the window's
// thread.

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
    // True when no enabled control of the dialog holds the keyboard focus. A control that is
    // disabled while it has the focus takes it away with it, and a dialog without a focus takes
    // no key (not even Esc) until the user clicks into it.
    virtual bool FocusLost() = 0;
    virtual void FocusControl(Control control) = 0;
    // The dialog itself holds the keys while none of its controls can take them.
    virtual void KeepKeys() = 0;
    virtual std::string PathText() = 0;
    virtual void SetPathText(const std::string& text) = 0;
    // The Interface and Baudrate lists, which the window fills with the entries of ListOf(list)
    // (ui/dialog_lists.h), in that order: the text the list shows (an entry or what the user
    // typed); the entry at index selected, or with -1 none and no text.
    virtual std::string ListText(Control list) = 0;
    virtual void SelectListEntry(Control list, int index) = 0;
    // The file chooser; false when the user cancelled.
    virtual bool ChooseFile(const std::string& initialDirectory, std::string* path) = 0;
    // A modal box owned by the dialog; returns the answer (kIdOk, kIdCancel, kIdRetry).
    virtual int ShowBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    // The help box's caption, as the toolkit's users expect it.
    virtual std::string HelpCaption() = 0;
    // Ends the dialog with kIdOk or kIdCancel.
    virtual void EndDialog(int result) = 0;
};
