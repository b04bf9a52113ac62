#pragma once
// What tovik-cli tells a person about a run's outcome, and the exit code it ends with: the one
// place where a load's verdict becomes text.

#include "loader/run_outcome.h"

#include <string>

struct OutcomeReportContext {
    std::string portName;        // the port as the user named it, for a lost port
    double timeoutSeconds = 0.0; // --timeout, for a search given up
};

// Tells the outcome (results on stdout, problems on stderr) and returns the exit code.
int ReportOutcome(const CRunOutcome& outcome, const OutcomeReportContext& context);
