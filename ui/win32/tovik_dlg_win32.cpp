#include "ui/win32/tovik_dlg_win32.h"

#include "platform/message_box.h"
#include "ui/dialog_lists.h"
#include "ui/win32/dialog_parts_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

// The core asks for boxes with the Windows types and expects the Windows answers, so its values
// go to MessageBoxA unchanged.
static_assert(kMbOk == MB_OK && kMbRetryCancel == MB_RETRYCANCEL &&
                  kMbIconInformation == MB_ICONINFORMATION && kMbButtonMask == MB_TYPEMASK,
              "message box types are the Windows values");
// The behaviour names its controls by the template's IDs.
static_assert(CDialogView::kStart == IDC_START && CDialogView::kInterface == IDC_INTERFACE &&
                  CDialogView::kBaudrate == IDC_BAUDRATE && CDialogView::kPath == IDC_PATH &&
                  CDialogView::kSearch == IDC_SEARCH && CDialogView::kStop == IDC_STOP,
              "the view's controls are the template's");
static_assert(kIdOk == IDOK && kIdCancel == IDCANCEL && kIdRetry == IDRETRY,
              "message box answers are the Windows values");

namespace {

// Posted to the dialog when the worker has queued a call for the dialog's thread.
constexpr UINT kWmServeCalls = WM_APP + 1;

HINSTANCE Instance() {
    return ::GetModuleHandleA(nullptr);
}

std::string WindowText(HWND window) {
    int length = ::GetWindowTextLengthA(window);
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(window, text.data(), length + 1);
    return std::string(text.data());
}

} // namespace

CTovikDlg::CTovikDlg(CProfile* profile)
    : CTovikDlgBehaviour(static_cast<CDialogView*>(this), profile) {
    m_hIcon = ::LoadIconA(Instance(), MAKEINTRESOURCEA(kIconId));
    // The small image of the same icon, so the caption does not show the large one shrunk.
    m_hSmallIcon = static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(kIconId),
                                                   IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
}

CTovikDlg::~CTovikDlg() {
    // Every way out of the dialog ends the worker first; this only makes sure of it before the
    // message boxes lose their owner.
    CTovikDlgBehaviour::OnDestroy();
    if (m_hSmallIcon) {
        ::DestroyIcon(m_hSmallIcon);
    }
}

INT_PTR CTovikDlg::DoModal() {
    return ::DialogBoxParamA(Instance(), MAKEINTRESOURCEA(kTemplateId), nullptr, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CTovikDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<CTovikDlg*>(lParam)->m_hWnd = window;
    }
    auto* dialog = reinterpret_cast<CTovikDlg*>(::GetWindowLongPtrA(window, DWLP_USER));
    return dialog ? dialog->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CTovikDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        CTovikDlgBehaviour::OnClose();
        return TRUE;
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_HELP:
        // F1 on the dialog or any of its controls, and F1 in one of its message boxes.
        CTovikDlgBehaviour::OnHelp();
        return TRUE;
    case kWmServeCalls:
        UiCalls().Drain();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CTovikDlg::OnInitDialog() {
    FillList(kInterface);
    FillList(kBaudrate);
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, LPARAM(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, LPARAM(m_hSmallIcon ? m_hSmallIcon : m_hIcon));

    // The worker's calls reach this thread through a posted message, which also arrives while a
    // message box or the file chooser runs its own loop.
    HWND window = m_hWnd;
    UiCalls().SetWake([window] { ::PostMessageA(window, kWmServeCalls, 0, 0); });

    // Empty until a run moves it into view; the clip is centred in whatever size it gets.
    m_animate = ::CreateWindowExA(0, ANIMATE_CLASSA, "", WS_CHILD | WS_VISIBLE | ACS_CENTER, 0, 0,
                                  0, 0, m_hWnd, reinterpret_cast<HMENU>(INT_PTR(kAnimationId)),
                                  Instance(), nullptr);
    ::SendMessageA(m_animate, ACM_OPENA, 0, LPARAM(MAKEINTRESOURCEA(kClipId)));

    CTovikDlgBehaviour::OnInitDialog();
    // TRUE: the focus goes to the first tab stop, "Start".
    return TRUE;
}

void CTovikDlg::OnCommand(int id, int notification) {
    switch (id) {
    case kStart:
        if (notification == BN_CLICKED) {
            CTovikDlgBehaviour::OnStart();
        }
        break;
    case kStop:
        if (notification == BN_CLICKED) {
            CTovikDlgBehaviour::OnStop();
        }
        break;
    case kSearch:
        if (notification == BN_CLICKED) {
            CTovikDlgBehaviour::OnSearch();
        }
        break;
    case IDOK:
        // Enter outside a button (the dialog manager presses a focused button itself).
        CTovikDlgBehaviour::OnEnter();
        break;
    case IDCANCEL:
        // Esc.
        CTovikDlgBehaviour::OnEscape();
        break;
    default:
        break;
    }
}

void CTovikDlg::EndDialog(int result) {
    ::EndDialog(m_hWnd, result);
}

bool CTovikDlg::OnPaint() {
    if (!::IsIconic(m_hWnd)) {
        return false;
    }
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    // Centred; an odd margin puts its extra pixel on the left and top.
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return true;
}

std::string CTovikDlg::HelpCaption() {
    return ApplicationName();
}

int CTovikDlg::ShowBox(const std::string& text, const std::string& caption, unsigned type) {
    return ::MessageBoxA(m_hWnd, text.c_str(), caption.c_str(), type);
}

bool CTovikDlg::FocusLost() {
    HWND focus = ::GetFocus();
    if (focus == m_hWnd) {
        // The dialog holds the keys itself only while no control can (KeepKeys).
        return true;
    }
    if (::GetParent(focus) == m_hWnd &&
        !(::GetWindowLongPtrA(focus, GWL_STYLE) & static_cast<LONG_PTR>(WS_TABSTOP))) {
        // A label: where the dialog manager may put the focus it gets back while no control can
        // take it.
        return true;
    }
    if (!focus) {
        // Nothing of this thread has the focus: lost only if the dialog is the active window.
        return ::GetActiveWindow() == m_hWnd;
    }
    for (HWND window = focus; window; window = ::GetParent(window)) {
        if (!::IsWindowEnabled(window)) {
            return true;
        }
        if (window == m_hWnd) {
            return false;
        }
    }
    // A message box or the file chooser has it.
    return false;
}

void CTovikDlg::FocusControl(Control id) {
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (control && ::IsWindowEnabled(control)) {
        // Through the dialog manager, so that the default button follows the focus.
        ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    }
}

void CTovikDlg::ShowStatus(const std::string& text) {
    ::SetDlgItemTextA(m_hWnd, kStatusId, text.c_str());
}

void CTovikDlg::ShowProgressRange(int lower, int upper) {
    ::SendDlgItemMessageA(m_hWnd, kProgressId, PBM_SETRANGE32, WPARAM(lower), LPARAM(upper));
}

void CTovikDlg::ShowProgressPos(int position) {
    ::SendDlgItemMessageA(m_hWnd, kProgressId, PBM_SETPOS, WPARAM(position), 0);
}

void CTovikDlg::PlayAnimation() {
    ::SetWindowPos(m_animate, HWND_TOP, kAnimationX, kAnimationY, kAnimationWidth, kAnimationHeight,
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
    // From the first frame to the last (65535), repeating without end.
    ::SendMessageA(m_animate, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
}

void CTovikDlg::StopAnimation() {
    ::SendMessageA(m_animate, ACM_STOP, 0, 0);
    ::SetWindowPos(m_animate, nullptr, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOZORDER);
}

void CTovikDlg::EnableControl(Control control, bool enable) {
    ::EnableWindow(::GetDlgItem(m_hWnd, control), enable ? TRUE : FALSE);
}

void CTovikDlg::KeepKeys() {
    // An active window without a focus gets its keys as system keys, which the dialog manager
    // does not take for Esc.
    if (::GetActiveWindow() == m_hWnd) {
        ::SetFocus(m_hWnd);
    }
}

std::string CTovikDlg::PathText() {
    return WindowText(::GetDlgItem(m_hWnd, kPath));
}

void CTovikDlg::SetPathText(const std::string& text) {
    ::SetDlgItemTextA(m_hWnd, kPath, text.c_str());
}

void CTovikDlg::FillList(Control list) {
    for (int i = 0; i < ListOf(list).count; ++i) {
        ::SendDlgItemMessageA(m_hWnd, list, CB_ADDSTRING, 0, LPARAM(ListOf(list).entries[i]));
    }
}

std::string CTovikDlg::ListText(Control list) {
    return WindowText(::GetDlgItem(m_hWnd, list));
}

void CTovikDlg::SelectListEntry(Control list, int index) {
    // -1 selects nothing and clears the edit field.
    ::SendDlgItemMessageA(m_hWnd, list, CB_SETCURSEL, WPARAM(index), 0);
}

bool CTovikDlg::ChooseFile(const std::string& initialDirectory, std::string* path) {
    const std::string filter = ChooserFilter("All Files(*.*)|*.*||");
    // The file name field starts with the pattern, so the chooser lists every file at once.
    std::vector<char> file(32768, '\0');
    const std::string initialName = "*.*";
    std::copy(initialName.begin(), initialName.end(), file.begin());
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = m_hWnd;
    chooser.lpstrFilter = filter.c_str();
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = file.data();
    chooser.nMaxFile = static_cast<DWORD>(file.size());
    chooser.lpstrInitialDir = initialDirectory.empty() ? nullptr : initialDirectory.c_str();
    chooser.lpstrDefExt = "*";
    chooser.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!::GetOpenFileNameA(&chooser)) {
        return false;
    }
    *path = file.data();
    return true;
}
