#pragma once
// What tovik-cli tells a person about a run's outcome, and the exit code it ends with: the one
// place where a load's verdict becomes text.

#include "cli/console_panel.h"
#include "loader/run_outcome.h"

#include <string>

struct OutcomeReportContext {
    std::string portName;        // the port as the user named it, for a lost port
    double timeoutSeconds = 0.0; // --timeout, for a search given up
};

// Tells the outcome (results on stdout, problems on stderr) and returns the exit code.
int ReportOutcome(const CRunOutcome& outcome, const OutcomeReportContext& context);

// The console panel as the worker sees it: what the dialogs show in boxes during the pass is
// told by ReportOutcome after the run instead; where a box would come, the line is ended, so that
// what it follows is on the screen (the Starting phase, however short it was).
class CReportingPanel : public CFrontPanel {
public:
    explicit CReportingPanel(CConsolePanel& console) : m_console(console) {}

    void SetProgressPos(int position) override { m_console.SetProgressPos(position); }
    void ShowErasing() override { m_console.ShowErasing(); }
    void ShowProgramming(int lineCount) override { m_console.ShowProgramming(lineCount); }
    void OnStop() override { m_console.OnStop(); }
    void EndRun() override { m_console.EndRun(); }
    void OnRunWoundDown() override { m_console.OnRunWoundDown(); }
    void ShowStartReply(int) override { m_console.BreakLine(); }
    void ShowWriteFailed(int) override { m_console.BreakLine(); }

private:
    CConsolePanel& m_console;
};
