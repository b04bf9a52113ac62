// tovik: the desktop dialog.

#include "app/tovik_app.h"

#include <cstdio>
#include <cstring>

wxIMPLEMENT_APP_NO_MAIN(CTovikApp);

int main(int argc, char** argv) {
    // Answered before the toolkit starts, which needs a display: a package's check or a script
    // asks without one.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tovik %s\n", TOVIK_VERSION);
            return 0;
        }
    }
    return wxEntry(argc, argv);
}
