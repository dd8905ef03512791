#pragma once
// The four messages by which the install engine reports to the dialog, and the step codes they
// carry. A step code is the row of the step's text in StepTextTable.
#include <windows.h>

constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 107;  // 1131, lParam: overall percentage
constexpr UINT WM_INSTALL_DONE = WM_USER + 108;      // 1132, lParam: 0
constexpr UINT WM_INSTALL_FAILED = WM_USER + 111;    // 1135, lParam: the failed step's code
constexpr UINT WM_INSTALL_STEP = WM_USER + 114;      // 1138, lParam: the beginning step's code

enum InstallStep : int {
    StepDownloadManifest = 0,
    StepDownloadDepend = 1,
    StepDownloadBase = 2,
    StepDownloadConfig = 3,
    StepDownloadFix = 4,
    StepDownloadQuant = 5,
    StepInstallDepend = 6,
    StepInstallBase = 7,
    StepInstallConfig = 8,
    StepInstallFix = 9,
    StepInstallQuant = 10,
    StepFilesOccupied = 11,
    StepCleanInstallFiles = 12,
    StepSaveVersion = 13,
    StepDeleteOldInstall = 14,
};

// The dialog window, target of every worker message. Set once when the dialog creates its
// controls, before any message can be posted; senders only read it.
extern HWND MainWindowHandle;

// PostMessageW(MainWindowHandle, message, 0, lParam); the result is ignored.
void PostInstallMessage(UINT message, LPARAM lParam);
