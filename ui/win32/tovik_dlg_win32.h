#pragma once
// The main dialog on the Windows API: a modal dialog box on template 102 around
// CTovikDlgBehaviour. It forwards the dialog's messages to the behaviour, carries the worker's
// calls to its own thread with a posted message, shows the worker's message boxes owned by
// itself, and implements the controls the behaviour drives.

#include "ui/dialog_behaviour.h"
#include "ui/dialog_view.h"
#include "ui/win32/resource.h"

#include <windows.h>

class CTovikDlg : public CTovikDlgBehaviour, private CDialogView {
public:
    // Resources and controls that the view drives besides those CDialogView names.
    static constexpr int kTemplateId = IDD_TOVIK_DIALOG;
    static constexpr int kIconId = IDR_MAINFRAME;
    static constexpr int kClipId = IDR_SEARCH_AVI;
    static constexpr int kAnimationId = IDC_ANIMATE;
    static constexpr int kProgressId = IDC_PROGRESS;
    static constexpr int kStatusId = IDC_STATUS;

    // Loads the icon; the window appears with DoModal.
    explicit CTovikDlg(CProfile* profile);
    ~CTovikDlg() override;

    // Shows the dialog and returns when it has ended: IDCANCEL (Esc, close box) or IDOK (Enter).
    INT_PTR DoModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void OnCommand(int id, int notification);
    bool OnPaint();
    void ShowHelp();
    // Ends the modal loop; the worker has been ended by then.
    void EndModal(int result);
    int ShowBox(const std::string& text, const std::string& caption, unsigned type);
    // True when no usable control of the dialog holds the keyboard focus: none does, or the one
    // that does has been disabled (it would swallow the keys).
    bool FocusLost() const;
    void MoveFocusTo(int id);
    // Gives the keys to the dialog itself while none of its controls can take them.
    void KeepKeys();

    // CDialogView
    void ShowStatus(const std::string& text) override;
    void ShowProgressRange(int lower, int upper) override;
    void ShowProgressPos(int position) override;
    void PlayAnimation() override;
    void StopAnimation() override;
    void EnableControl(Control control, bool enable) override;
    void FocusStartIfNothingFocused() override;
    std::string PathText() override;
    void SetPathText(const std::string& text) override;
    int InterfaceSelection() override;
    void SelectInterface(int index) override;
    int BaudrateSelection() override;
    void SelectBaudrate(int index) override;
    bool ChooseFile(const std::string& initialDirectory, std::string* path) override;

    HWND m_hWnd = nullptr;
    HWND m_animate = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    bool m_bShowingHelp = false;
};
