#pragma once
// One run of tovik-cli from its command line to its exit code.

int RunCli(int argc, const char* const* argv);
