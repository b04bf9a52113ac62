#pragma once
// The dialog's help text (F1).

#include <string>

std::string HelpText();
