#pragma once
// The main dialog on wxWidgets: the window around CTovikDlgBehaviour. It loads its layout from
// the dialog resource, forwards the events to the behaviour, carries the worker's calls to its
// own thread, and implements the controls the behaviour drives.

#include "ui/dialog_behaviour.h"
#include "ui/dialog_view.h"

#include <wx/dialog.h>

class wxButton;
class wxComboBox;
class wxGauge;
class wxStaticText;
class wxTextCtrl;
class CSearchAnimation;

// Told of every display call the window carries out, in order, on the window's thread: for tests
// that follow a run through what the window was asked to show, which sampling the controls between
// events can miss.
class CDisplayWatcher {
public:
    virtual ~CDisplayWatcher() = default;
    virtual void StatusShown(const std::string& text) = 0;
    virtual void ProgressRangeShown(int lower, int upper) = 0;
    virtual void ProgressPosShown(int position) = 0;
    virtual void ControlEnabled(CDialogView::Control control, bool enable) = 0;
};

class CTovikDlg : public wxDialog, public CTovikDlgBehaviour, private CDialogView {
public:
    // The layout's size in dialog units.
    static constexpr int kWidthDu = 220;
    static constexpr int kHeightDu = 167;
    // The search animation's slot, in dialog units (the clip is centred in it).
    static constexpr int kAnimationXDu = 147, kAnimationYDu = 86, kAnimationWDu = 40,
                         kAnimationHDu = 12;
    static constexpr int kAnimationId = 130;

    CTovikDlg(wxWindow* parent, CProfile* profile);
    ~CTovikDlg() override;

    // The controls, for tests that drive the real window.
    wxButton* StartButton() const { return m_start; }
    wxButton* StopButton() const { return m_stop; }
    wxButton* SearchButton() const { return m_search; }
    wxComboBox* InterfaceList() const { return m_interface; }
    wxComboBox* BaudrateList() const { return m_baudrate; }
    wxTextCtrl* PathField() const { return m_path; }
    wxGauge* ProgressBar() const { return m_progress; }
    wxStaticText* StatusLine() const { return m_status; }
    CSearchAnimation* Animation() const { return m_animate; }
    int ProgressLower() const { return m_progressLower; }
    int ProgressUpper() const { return m_progressUpper; }
    int ProgressPos() const { return m_progressPos; }

    // Install before InitDialog to see the first range too; null: nobody watches.
    void WatchDisplay(CDisplayWatcher* watcher) { m_watcher = watcher; }

private:
    void LoadLayout(wxWindow* parent);
    void FillList(Control list);
    // Widens the layout uniformly where the toolkit's controls need more room than the dialog
    // units give them, so nothing is cut off and the arrangement keeps its proportions.
    void FitLayout();

    void HandleInitDialog(wxInitDialogEvent& event);
    void HandleClose(wxCloseEvent& event);
    void HandleCharHook(wxKeyEvent& event);
    // Shows m_progressPos within the current range.
    void ApplyProgress();
    // True when an enabled control of the dialog has the keyboard focus.
    bool ControlHasFocus() const;
    // Gives the keys to control (enabled), and takes them from the dialog itself.
    void GiveKeysTo(wxWindow* control);

    // CDialogView
    void ShowStatus(const std::string& text) override;
    void ShowProgressRange(int lower, int upper) override;
    void ShowProgressPos(int position) override;
    void PlayAnimation() override;
    void StopAnimation() override;
    void EnableControl(Control control, bool enable) override;
    bool FocusLost() override;
    void FocusControl(Control control) override;
    void KeepKeys() override;
    std::string PathText() override;
    void SetPathText(const std::string& text) override;
    std::string ListText(Control list) override;
    void SelectListEntry(Control list, int index) override;
    bool ChooseFile(const std::string& initialDirectory, std::string* path) override;
    int ShowBox(const std::string& text, const std::string& caption, unsigned type) override;
    std::string HelpCaption() override { return "Help"; }
    // Shown modally or not.
    void EndDialog(int result) override;

    wxButton* m_start = nullptr;
    wxButton* m_stop = nullptr;
    wxButton* m_search = nullptr;
    wxComboBox* m_interface = nullptr;
    wxComboBox* m_baudrate = nullptr;
    wxTextCtrl* m_path = nullptr;
    wxGauge* m_progress = nullptr;
    wxStaticText* m_status = nullptr;
    CSearchAnimation* m_animate = nullptr;
    CDisplayWatcher* m_watcher = nullptr;
    double m_scale = 1.0;
    bool m_initialised = false;
    int m_progressLower = 1, m_progressUpper = 100, m_progressPos = 0;
};
