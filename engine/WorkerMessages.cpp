#include "engine/WorkerMessages.h"

HWND MainWindowHandle = nullptr;

void PostInstallMessage(UINT message, LPARAM lParam) {
    ::PostMessageW(MainWindowHandle, message, 0, lParam);
}
