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
    void FillList(Control list);
    bool OnPaint();

    // CDialogView
    void ShowStatus(const std::string& text) override;
    void ShowProgressRange(int lower, int upper) override;
    void ShowProgressPos(int position) override;
    void PlayAnimation() override;
    void StopAnimation() override;
    void EnableControl(Control control, bool enable) override;
    // Also true when the control that has the focus has been disabled (it would swallow the
    // keys).
    bool FocusLost() override;
    void FocusControl(Control control) override;
    void KeepKeys() override;
    std::string PathText() override;
    void SetPathText(const std::string& text) override;
    std::string ListText(Control list) override;
    void SelectListEntry(Control list, int index) override;
    bool ChooseFile(const std::string& initialDirectory, std::string* path) override;
    int ShowBox(const std::string& text, const std::string& caption, unsigned type) override;
    std::string HelpCaption() override;
    // Ends the modal loop; the worker has been ended by then.
    void EndDialog(int result) override;

    HWND m_hWnd = nullptr;
    HWND m_animate = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
};
