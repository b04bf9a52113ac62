#include "ui/dialog_behaviour.h"

#include "loader/checked_copy.h"
#include "loader/srecord_reader.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "settings/profile.h"
#include "ui/dialog_lists.h"
#include "ui/help_text.h"

const char* const kProfileSection = "Tovik";
const char* const kProfileOpenPath = "Openpath";
const char* const kProfileComPort = "ComPort";
const char* const kProfileBaud = "Baud";
const char* const kNoInterfaceMessage = "Please choose an interface first !";

std::string SettingsNotSavedMessage(const std::string& path, const std::string& reason) {
    if (path.empty()) {
        return "The settings could not be saved: " + reason + ".";
    }
    return "The settings could not be saved in " + path + ":\n" + reason;
}

namespace {

// The close wait looks at the worker every 100 ms and serves its calls in between.
constexpr int kCloseWaitStepMs = 100;

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

CTovikDlgBehaviour::CTovikDlgBehaviour(CDialogView* view, CProfile* profile)
    : CRunController(this), m_view(view), m_profile(profile) {}

CTovikDlgBehaviour::~CTovikDlgBehaviour() {
    OnDestroy();
    ReleaseFile();
}

void CTovikDlgBehaviour::OnInitDialog() {
    m_uiCalls.SetUiThread(std::this_thread::get_id());
    // The worker asks too (the port's Retry/Cancel, the run's outcome): every box is shown on
    // the window's thread, owned by the dialog.
    SetMessageBoxHook([this](const std::string& text, const std::string& caption, unsigned type) {
        int answer = kIdOk;
        m_uiCalls.Run([&] { answer = m_view->ShowBox(text, caption, type); });
        return answer;
    });
    Stop();
    m_nComIndex = 0;
    m_nEraseErrors = 0;
    m_nFirstCluster = 1;
    m_nEndCluster = 8;
    m_nState = 1;
    m_pFile = nullptr;
    m_nMaxCluster = 8;
    m_bThreadEnded = false;
    m_view->SetPathText(m_profile->GetProfileString(kProfileSection, kProfileOpenPath, ""));
    m_nComIndex = m_profile->GetProfileInt(kProfileSection, kProfileComPort, 0);
    SelectListEntry(CDialogView::kInterface, m_nComIndex);
    m_nBaudIndex = m_profile->GetProfileInt(kProfileSection, kProfileBaud, 1);
    SelectListEntry(CDialogView::kBaudrate, m_nBaudIndex);
    m_view->ShowProgressRange(1, 100);
    StartThread();
}

bool CTovikDlgBehaviour::HoldFile(const std::string& path) {
    m_pHeldFile = std::fopen(path.c_str(), "r");
    if (!m_pHeldFile) {
        return false;
    }
    m_nLineCount = CountLines(m_pHeldFile);
    return true;
}

void CTovikDlgBehaviour::ReleaseFile() {
    if (m_pHeldFile) {
        std::fclose(m_pHeldFile);
        m_pHeldFile = nullptr;
    }
}

bool CTovikDlgBehaviour::CopyAndCheckHeldFile(CFileCheck* check) {
    std::string message;
    std::rewind(m_pHeldFile);
    // The check reads the whole copy before anything is sent: a broken file must never get as
    // far as erasing the device. It is let go, so that the next Start opens the mended file.
    if (ReadCheckedStream(m_pHeldFile, m_view->PathText(), &m_runCopy, check, &message) != 0) {
        ReleaseFile();
        AfxMessageBox(message);
        return false;
    }
    return true;
}

void CTovikDlgBehaviour::OnStart() {
    // The copy below is what a run still going reads.
    if (Running() || LinkHeld()) {
        return;
    }
    // No port to open: the port layer's message would name an interface nobody chose, and the
    // search would go on, on no line, until Stop.
    if (InterfaceSelection() < 0) {
        AfxMessageBox(kNoInterfaceMessage);
        return;
    }
    if (!m_pHeldFile && !HoldFile(m_view->PathText())) {
        AfxMessageBox("Sorry wrong filename given !");
        return;
    }
    CFileCheck check;
    if (!CopyAndCheckHeldFile(&check)) {
        return;
    }
    std::string error;
    FILE* copy = m_runCopy.Stream(&error);
    if (!copy) {
        AfxMessageBox(error);
        return;
    }
    m_view->ShowStatus("Looking for device ... ");
    m_view->ShowProgressPos(0);
    m_view->PlayAnimation();
    const int baudIndex = BaudrateSelection();
    const int comIndex = InterfaceSelection();
    for (CDialogView::Control c : {CDialogView::kInterface, CDialogView::kBaudrate,
                                   CDialogView::kPath, CDialogView::kStart, CDialogView::kSearch}) {
        m_view->EnableControl(c, false);
    }
    m_view->EnableControl(CDialogView::kStop, true);
    // The control the user pressed (or typed in) took the focus away with it: Stop takes it.
    FocusIfLost(CDialogView::kStop);
    BeginRun(copy, check.lineCount, comIndex, baudIndex);
}

void CTovikDlgBehaviour::OnSearch() {
    std::string openPath = m_profile->GetProfileString(kProfileSection, kProfileOpenPath, "");
    std::string path;
    if (!m_view->ChooseFile(DirectoryOf(openPath), &path)) {
        return;
    }
    // The new stream replaces the held one whatever the result; the old one is closed so that
    // choosing files again and again does not use up the process's file handles.
    ReleaseFile();
    if (!HoldFile(path)) {
        m_nLineCount = 0;
        AfxMessageBox("Sorry I was not able to open that file !");
        return;
    }
    m_view->SetPathText(path);
    if (!m_profile->WriteProfileString(kProfileSection, kProfileOpenPath, path)) {
        TellSettingsNotSaved();
    }
}

void CTovikDlgBehaviour::EnableInputs() {
    for (CDialogView::Control c : {CDialogView::kInterface, CDialogView::kBaudrate,
                                   CDialogView::kStart, CDialogView::kSearch, CDialogView::kPath}) {
        m_view->EnableControl(c, true);
    }
}

void CTovikDlgBehaviour::OnStop() {
    m_uiCalls.Run([this] {
        m_view->ShowStatus("Status Messages");
        Stop();
        m_view->StopAnimation();
        // While the worker still finishes the command in flight (an erase can take 30 s), a new
        // Start would carry on with the old run and a new file would close the stream it reads:
        // the inputs come back once the worker has let go of the run (OnRunWoundDown).
        bool inputsBack = !m_bLinkHeld;
        if (inputsBack) {
            EnableInputs();
        }
        m_view->EnableControl(CDialogView::kStop, false);
        // Stop, now disabled, may have had the focus. With the inputs back Start takes it;
        // until then no control can, and the dialog itself holds the keys, so that Esc still
        // ends it and F1 still helps.
        if (inputsBack) {
            FocusIfLost(CDialogView::kStart);
        } else if (m_view->FocusLost()) {
            m_view->KeepKeys();
        }
    });
}

void CTovikDlgBehaviour::OnRunWoundDown() {
    m_uiCalls.Run([this] {
        if (!Running()) {
            EnableInputs();
            FocusIfLost(CDialogView::kStart);
        }
    });
}

void CTovikDlgBehaviour::SetProgressPos(int position) {
    m_uiCalls.Run([this, position] { m_view->ShowProgressPos(position); });
}

void CTovikDlgBehaviour::ShowErasing() {
    m_uiCalls.Run([this] {
        m_view->StopAnimation();
        m_view->ShowStatus("Erasing Cluster");
        m_view->ShowProgressRange(1, 7);
    });
}

void CTovikDlgBehaviour::ShowProgramming(int lines) {
    if (lines == 0) {
        AfxMessageBox("File contains no data !");
        return;
    }
    // The whole count: files of more than 65535 lines still show true progress.
    m_uiCalls.Run([this, lines] {
        m_view->ShowStatus("Programming ");
        m_view->ShowProgressRange(1, lines);
    });
}

void CTovikDlgBehaviour::EndWorker() {
    // Ending the run as well lets the worker stop after the command in flight instead of after a
    // whole erase or programming pass.
    EndThread(
        true, [this] { m_uiCalls.Drain(); }, kCloseWaitStepMs);
}

void CTovikDlgBehaviour::OnClose() {
    OnEscape();
}

void CTovikDlgBehaviour::OnEscape() {
    KeepSelections();
    m_view->EndDialog(kIdCancel);
}

void CTovikDlgBehaviour::OnEnter() {
    EndWorker();
    m_view->EndDialog(kIdOk);
}

void CTovikDlgBehaviour::OnHelp() {
    // F1 pressed in the help box itself asks again; one help box is enough.
    if (m_bShowingHelp) {
        return;
    }
    m_bShowingHelp = true;
    m_view->ShowBox(HelpText(), m_view->HelpCaption(), kMbOk | kMbIconInformation);
    m_bShowingHelp = false;
}

void CTovikDlgBehaviour::OnDestroy() {
    EndWorker();
    SetMessageBoxHook(nullptr);
}

void CTovikDlgBehaviour::KeepSelections() {
    EndWorker();
    m_nComIndex = InterfaceSelection();
    m_nBaudIndex = BaudrateSelection();
    if (!m_profile->WriteProfileStrings(kProfileSection,
                                        {{kProfileComPort, std::to_string(m_nComIndex)},
                                         {kProfileBaud, std::to_string(m_nBaudIndex)}})) {
        TellSettingsNotSaved();
    }
}

int CTovikDlgBehaviour::ListSelection(CDialogView::Control list) {
    // What a run uses is always what the dialog shows: a typed text counts as the entry it
    // names, whatever its case, and one that names none selects nothing.
    return ListEntryIndex(ListOf(list), m_view->ListText(list));
}

void CTovikDlgBehaviour::SelectListEntry(CDialogView::Control list, int index) {
    m_view->SelectListEntry(list, ListEntryOrNone(ListOf(list), index));
}

void CTovikDlgBehaviour::FocusIfLost(CDialogView::Control control) {
    if (m_view->FocusLost()) {
        m_view->FocusControl(control);
    }
}

void CTovikDlgBehaviour::TellSettingsNotSaved() {
    // Once is enough: every later save would fail for the same reason.
    if (m_bToldNotSaved) {
        return;
    }
    m_bToldNotSaved = true;
    AfxMessageBox(SettingsNotSavedMessage(m_profile->Path(), m_profile->LastWriteError()));
}
