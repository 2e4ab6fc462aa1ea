// Program entry on Windows: the start-up exclusion test, then the main window and the message
// loop.

#include <windows.h>

#include "app/StartupExclusion.h"
#include "ui/win32/TMainForm.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    // Decided before any window exists: when the other tool's window is up, end silently.
    if (vellox::ExclusionWindowExists()) return 0;

    vellox::win32::TMainForm form({}, /*quitOnDestroy=*/true);
    form.Show(show);
    form.Run();
    return 0;
}
