// The desktop program.
#include "shell/desktop_app.h"

wxIMPLEMENT_APP(shell::DesktopApp);
