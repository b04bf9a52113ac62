// tovik-cli: the loader without a window, for scripts and production lines.

#include "cli/load_session.h"

int main(int argc, char** argv) {
    return RunCli(argc, argv);
}
