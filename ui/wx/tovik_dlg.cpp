#include "ui/wx/tovik_dlg.h"

#include "platform/message_box.h"
#include "ui/dialog_lists.h"
#include "ui/wx/file_chooser.h"
#include "ui/wx/search_animation_ctrl.h"
#include "ui/wx/toolkit_message_box.h"
#include "ui/wx/wx_pictures.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>

// The dialog resource, compiled into the program (generated from tovik_dlg.xrc).
extern void InitTovikDialogResource();

namespace {

template <class T> T* FindControl(wxWindow* dialog, const char* name, int id) {
    T* control = XRCCTRL(*dialog, name, T);
    control->SetId(id);
    return control;
}

} // namespace

CTovikDlg::CTovikDlg(wxWindow* parent, CProfile* profile)
    : CTovikDlgBehaviour(static_cast<CDialogView*>(this), profile) {
    LoadLayout(parent);
    SetIcons(TovikIcons());
    m_animate = new CSearchAnimation(this, kAnimationId);
    m_animate->Hide();
    // The layout is fitted to what the controls hold, so the lists are filled before it.
    FillList(kInterface);
    FillList(kBaudrate);
    FitLayout();
    Bind(wxEVT_INIT_DIALOG, &CTovikDlg::HandleInitDialog, this);
    Bind(wxEVT_CLOSE_WINDOW, &CTovikDlg::HandleClose, this);
    Bind(wxEVT_CHAR_HOOK, &CTovikDlg::HandleCharHook, this);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { CTovikDlgBehaviour::OnStart(); },
        CDialogView::kStart);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { CTovikDlgBehaviour::OnStop(); },
        CDialogView::kStop);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { CTovikDlgBehaviour::OnSearch(); },
        CDialogView::kSearch);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { CTovikDlgBehaviour::OnEscape(); }, wxID_CANCEL);
    UiCalls().SetWake([this] { CallAfter([this] { UiCalls().Drain(); }); });
}

CTovikDlg::~CTovikDlg() {
    // The worker may still call the display while it ends; the controls must outlive it.
    CTovikDlgBehaviour::OnDestroy();
}

void CTovikDlg::LoadLayout(wxWindow* parent) {
    static bool loaded = false;
    if (!loaded) {
        wxXmlResource::Get()->InitAllHandlers();
        InitTovikDialogResource();
        loaded = true;
    }
    wxXmlResource::Get()->LoadDialog(this, parent, "IDD_TOVIK_DIALOG");
    m_start = FindControl<wxButton>(this, "IDC_START", CDialogView::kStart);
    m_interface = FindControl<wxComboBox>(this, "IDC_INTERFACE", CDialogView::kInterface);
    m_status = FindControl<wxStaticText>(this, "IDC_STATUS", 1024);
    m_progress = FindControl<wxGauge>(this, "IDC_PROGRESS", 1012);
    m_path = FindControl<wxTextCtrl>(this, "IDC_PATH", CDialogView::kPath);
    m_search = FindControl<wxButton>(this, "IDC_SEARCH", CDialogView::kSearch);
    m_stop = FindControl<wxButton>(this, "IDC_STOP", CDialogView::kStop);
    m_baudrate = FindControl<wxComboBox>(this, "IDC_BAUDRATE", CDialogView::kBaudrate);
}

void CTovikDlg::FitLayout() {
    double scale = 1.0;
    for (wxWindow* child : GetChildren()) {
        if (child == m_progress || child == m_animate || dynamic_cast<wxStaticBox*>(child)) {
            continue;
        }
        wxSize best = child->GetBestSize();
        wxSize size = child->GetSize();
        if (size.x > 0) {
            scale = std::max(scale, double(best.x) / size.x);
        }
        if (size.y > 0 && !dynamic_cast<wxComboBox*>(child)) {
            scale = std::max(scale, double(best.y) / size.y);
        }
    }
    m_scale = std::min(scale, 2.0);
    for (wxWindow* child : GetChildren()) {
        if (child == m_animate) {
            continue;
        }
        wxPoint pos = child->GetPosition();
        wxSize size = child->GetSize();
        wxSize scaled(int(size.x * m_scale + 0.5), int(size.y * m_scale + 0.5));
        if (dynamic_cast<wxComboBox*>(child)) {
            scaled.y = child->GetBestSize().y; // a combo box keeps its natural height
        }
        child->SetSize(int(pos.x * m_scale + 0.5), int(pos.y * m_scale + 0.5), scaled.x, scaled.y);
    }
    wxSize client = ConvertDialogToPixels(wxSize(kWidthDu, kHeightDu));
    SetClientSize(int(client.x * m_scale + 0.5), int(client.y * m_scale + 0.5));
}

void CTovikDlg::HandleInitDialog(wxInitDialogEvent& event) {
    event.Skip();
    if (!m_initialised) {
        m_initialised = true;
        CTovikDlgBehaviour::OnInitDialog();
        GiveKeysTo(m_start);
    }
}

void CTovikDlg::HandleClose(wxCloseEvent&) {
    CTovikDlgBehaviour::OnClose();
}

void CTovikDlg::EndDialog(int result) {
    const int code = result == kIdOk ? wxID_OK : wxID_CANCEL;
    if (IsModal()) {
        EndModal(code);
    } else {
        SetReturnCode(code);
        Hide();
    }
}

void CTovikDlg::HandleCharHook(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        CTovikDlgBehaviour::OnEscape();
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        // Enter on a button presses it; anywhere else it is the dialog's OK, which ends the
        // dialog without keeping the selections.
        if (!dynamic_cast<wxButton*>(FindFocus())) {
            CTovikDlgBehaviour::OnEnter();
            return;
        }
        break;
    case WXK_F1:
        CTovikDlgBehaviour::OnHelp();
        return;
    default:
        break;
    }
    event.Skip();
}

void CTovikDlg::ShowStatus(const std::string& text) {
    m_status->SetLabel(text);
    if (m_watcher) {
        m_watcher->StatusShown(text);
    }
}

void CTovikDlg::ShowProgressRange(int lower, int upper) {
    m_progressLower = lower;
    m_progressUpper = upper;
    // The gauge counts from 0; a range of one value shows a full bar at its position.
    m_progress->SetRange(std::max(1, upper - lower));
    ApplyProgress();
    if (m_watcher) {
        m_watcher->ProgressRangeShown(lower, upper);
    }
}

void CTovikDlg::ShowProgressPos(int position) {
    m_progressPos = position;
    ApplyProgress();
    if (m_watcher) {
        m_watcher->ProgressPosShown(position);
    }
}

void CTovikDlg::ApplyProgress() {
    int position = m_progressPos;
    int value = std::clamp(position - m_progressLower, 0, m_progress->GetRange());
    if (m_progressUpper == m_progressLower && position >= m_progressUpper) {
        value = m_progress->GetRange();
    }
    m_progress->SetValue(value);
}

void CTovikDlg::PlayAnimation() {
    wxPoint pos = ConvertDialogToPixels(wxPoint(kAnimationXDu, kAnimationYDu));
    wxSize size = ConvertDialogToPixels(wxSize(kAnimationWDu, kAnimationHDu));
    m_animate->SetSize(int(pos.x * m_scale + 0.5), int(pos.y * m_scale + 0.5),
                       std::max(int(size.x * m_scale + 0.5), CSearchAnimation::kWidth),
                       std::max(int(size.y * m_scale + 0.5), CSearchAnimation::kHeight));
    m_animate->Show();
    m_animate->Play();
}

void CTovikDlg::StopAnimation() {
    m_animate->Stop();
    // The toolkit keeps windows at least 1 x 1; hidden, it shows nothing at all.
    m_animate->SetSize(0, 0, 0, 0);
    m_animate->Hide();
}

void CTovikDlg::EnableControl(Control control, bool enable) {
    if (wxWindow* window = FindWindow(control)) {
        window->Enable(enable);
    }
    if (m_watcher) {
        m_watcher->ControlEnabled(control, enable);
    }
}

bool CTovikDlg::ControlHasFocus() const {
    // The dialog itself is no control: it only holds the keys while no control can.
    wxWindow* focus = FindFocus();
    return focus && focus != this && IsDescendant(focus) && focus->IsEnabled();
}

void CTovikDlg::KeepKeys() {
    if (IsShown()) {
        // Without this the toolkit hands the focus on to a child, and none can take it.
        SetCanFocus(true);
        SetFocusIgnoringChildren();
    }
}

void CTovikDlg::GiveKeysTo(wxWindow* control) {
    control->SetFocus();
    // Holding the keys made the dialog a stop of its own in the Tab order; with a control to
    // hold them again it is none.
    SetCanFocus(false);
}

bool CTovikDlg::FocusLost() {
    // The toolkit drops the focus of a control that is disabled, but while the dialog is not the
    // active window it goes on reporting the control that had it (or that was last given it), so
    // a report of Start proves nothing: giving Start the focus again costs nothing. Only another
    // enabled control of the dialog keeps the focus it has.
    return !ControlHasFocus() || FindFocus() == m_start;
}

void CTovikDlg::FocusControl(Control control) {
    if (wxWindow* window = FindWindow(control)) {
        GiveKeysTo(window);
    }
}

std::string CTovikDlg::PathText() {
    return m_path->GetValue().utf8_string();
}

void CTovikDlg::SetPathText(const std::string& text) {
    m_path->ChangeValue(wxString::FromUTF8(text));
}

void CTovikDlg::FillList(Control list) {
    auto* box = static_cast<wxComboBox*>(FindWindow(list));
    for (int i = 0; i < ListOf(list).count; ++i) {
        box->Append(ListOf(list).entries[i]);
    }
}

std::string CTovikDlg::ListText(Control list) {
    return static_cast<wxComboBox*>(FindWindow(list))->GetValue().utf8_string();
}

void CTovikDlg::SelectListEntry(Control list, int index) {
    auto* box = static_cast<wxComboBox*>(FindWindow(list));
    if (index >= 0) {
        box->SetSelection(index);
    } else {
        box->SetValue("");
    }
}

int CTovikDlg::ShowBox(const std::string& text, const std::string& caption, unsigned type) {
    return ShowToolkitMessageBox(this, text, caption, type);
}

bool CTovikDlg::ChooseFile(const std::string& initialDirectory, std::string* path) {
    CFileChooserSetup setup = FileChooserSetup(initialDirectory, ToolkitReadsPatternsAsGlobs());
    wxFileDialog chooser(this, wxFileSelectorPromptStr, setup.directory, setup.fileName,
                         setup.wildcard, setup.style);
    if (chooser.ShowModal() != wxID_OK) {
        return false;
    }
    *path = chooser.GetPath().utf8_string();
    return true;
}
