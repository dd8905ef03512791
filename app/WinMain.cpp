// Entry point of the installer.
#include <windows.h>

#include "app/InstallSettings.h"
#include "system/SafeLibrary.h"

// The dialog and its modal loop are not wired in yet: the program prepares the process and its
// settings and ends.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    kav::RestrictDllSearchToSystem32();
    SelectUiLanguage();
    return 0;
}
