#pragma once
// What the main dialog does, apart from drawing: its handlers, the front panel the worker calls,
// the settings it keeps in the profile, and the worker's life from the dialog's start to its end.
// The dialog carries the run state as its run controller, which owns the worker and the
// hand-shake with it. A window (wxWidgets, Win32) only maps its toolkit's events to the handlers
// here (a key to OnEscape, OnEnter or OnHelp, the close box to OnClose) and implements CDialogView.

#include "loader/file_check.h"
#include "loader/file_copy.h"
#include "loader/front_panel.h"
#include "loader/run_controller.h"
#include "ui/dialog_view.h"
#include "ui/ui_call_queue.h"

#include <cstdio>
#include <string>

class CProfile;

// The profile section and keys of the dialog's settings.
extern const char* const kProfileSection;
extern const char* const kProfileOpenPath;
extern const char* const kProfileComPort;
extern const char* const kProfileBaud;

// What Start says when the Interface list shows no entry (nothing selected, or a typed text that
// names none).
extern const char* const kNoInterfaceMessage;
// What the dialog says, once, when the settings cannot be saved: the file and the system's
// reason (path empty: there is no file to keep them in).
std::string SettingsNotSavedMessage(const std::string& path, const std::string& reason);

class CTovikDlgBehaviour : public CFrontPanel, public CRunController {
public:
    CTovikDlgBehaviour(CDialogView* view, CProfile* profile);
    // Stops the worker and waits for it, if nobody did (OnDestroy); closes the held file.
    ~CTovikDlgBehaviour() override;

    // Handlers, on the window's thread. OnInitDialog selects the lists' entries from the profile,
    // shows the core's message boxes through the window from then on, and starts the worker.
    void OnInitDialog();
    void OnStart();
    void OnSearch();
    // Esc: the worker is ended (the run too, after the command in flight), the selections are
    // kept in the profile (or the dialog says why they cannot be), the dialog ends with kIdCancel.
    void OnEscape();
    // The close box: as Esc.
    void OnClose();
    // Enter outside a button: the worker is ended, the dialog ends with kIdOk and keeps nothing.
    void OnEnter();
    // F1: the help box; F1 pressed in the help box itself shows no second one.
    void OnHelp();
    // The window is going: the worker is ended while the window can still show its calls, and
    // the message boxes lose their owner.
    void OnDestroy();

    // Front panel: called by the worker, carried to the window's thread.
    void SetProgressPos(int position) override;
    void ShowErasing() override;
    void ShowProgramming(int lineCount) override;
    // The idle display; also the Stop button's handler. The inputs come back at once only when
    // no run is winding down; otherwise when the worker reports that it has (OnRunWoundDown).
    void OnStop() override;
    void OnRunWoundDown() override;

    // The queue through which worker calls (display operations and message boxes) reach the
    // window's thread.
    CUiCallQueue& UiCalls() { return m_uiCalls; }

    // True once the worker has ended and been joined.
    bool WorkerEnded() const { return ThreadEnded(); }

    // The stream of the file the user chose, held from the choice until it is let go; a run
    // programs a copy of it (m_pFile is that copy's stream while the run goes).
    FILE* HeldFile() const { return m_pHeldFile; }

    // The entry each list shows, -1 for none: a typed text counts as the entry it names.
    int InterfaceSelection() { return ListSelection(CDialogView::kInterface); }
    int BaudrateSelection() { return ListSelection(CDialogView::kBaudrate); }

private:
    int ListSelection(CDialogView::Control list);
    // Selects the entry at index, or none when the index is outside the list.
    void SelectListEntry(CDialogView::Control list, int index);
    // Gives the keys to control if no control holds them.
    void FocusIfLost(CDialogView::Control control);
    // Keeps the selections in the profile, or says why it cannot; the worker is ended first.
    void KeepSelections();
    // Opens path and counts its lines; false when it cannot be opened (nothing is held then).
    bool HoldFile(const std::string& path);
    void ReleaseFile();
    // Copies the held stream from its beginning and checks the copy; false, after the message,
    // when it cannot be read or the check fails (the held file is let go then).
    bool CopyAndCheckHeldFile(CFileCheck* check);
    void EnableInputs();
    // The message box about settings that could not be saved, the first time only.
    void TellSettingsNotSaved();
    // Waits for the worker to end, serving its display calls meanwhile.
    void EndWorker();

    CDialogView* m_view;
    CProfile* m_profile;
    CUiCallQueue m_uiCalls;
    FILE* m_pHeldFile = nullptr;
    bool m_bToldNotSaved = false;
    bool m_bShowingHelp = false;
    // Read afresh at every Start: the run programs exactly what was checked, whatever happens to
    // the file meanwhile.
    CFileCopy m_runCopy;
};
