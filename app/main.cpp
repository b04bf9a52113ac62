// tovik: the desktop dialog.

#include "app/tovik_app.h"

wxIMPLEMENT_APP(CTovikApp);
