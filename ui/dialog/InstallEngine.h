#pragma once
// What the dialog calls to run an install and to ask the user. The entry point gives the dialog
// the real install engine; tests give stand-ins for the engine and for the two calls that wait
// for the user (the reinstall warning and the folder browser).
#include <windows.h>

#include <string>

class IClient;

namespace kav {

using ThreadProcedure = unsigned(__stdcall*)(void*);

// Starts procedure(argument) on a new thread of the C runtime, run at once, default security and
// stack. The thread's handle, or null when no thread could be started.
HANDLE StartWorkerThread(ThreadProcedure procedure, void* argument);

// The reinstall warning: MessageBoxW(owner, text, caption, MB_OKCANCEL); IDOK goes on.
int AskReinstall(HWND owner, const wchar_t* text, const wchar_t* caption);

// The folder browser of the custom-path panel: the chosen folder's full path (code page 936),
// empty when the user cancelled or the choice is not a file-system folder.
std::string ChooseFolder(HWND owner, const char* title);

struct InstallEngine {
    // Reads the remote manifest on the dialog's thread; null means no manifest can be read.
    bool (*readManifest)(IClient& client) = nullptr;
    // The install worker's thread procedure; its argument is the dialog's IClient part.
    ThreadProcedure worker = nullptr;
    HANDLE (*startThread)(ThreadProcedure procedure, void* argument) = StartWorkerThread;
    int (*askReinstall)(HWND owner, const wchar_t* text, const wchar_t* caption) = AskReinstall;
    std::string (*chooseFolder)(HWND owner, const char* title) = ChooseFolder;
};

}  // namespace kav
