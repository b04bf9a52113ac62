#pragma once
// Which port a load of tovik-cli uses: the COM index the port layer opens and the device behind
// it, or the virtual device.

#include "cli/simulated_device.h"

#include <memory>
#include <string>

struct CliOptions;

// comMapProblem: why the profile that gives COM names their devices could not be read (empty
// when it could). Returns the COM index to use, -1 once the person has been told there is none.
int ChoosePort(const CliOptions& o, const std::string& comMapProblem,
               std::unique_ptr<CSimulatedDevice>& sim, std::string* devicePath);
