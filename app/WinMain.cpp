// Entry point of the installer: prepares the process, runs the dialog modally and tears down.
#include <windows.h>

#include <memory>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "app/ModalLoop.h"
#include "app/SearchPath.h"
#include "cloud/IClient.h"
#include "engine/InstallWorker.h"
#include "engine/MovedAsideRemoval.h"
#include "system/Folders.h"
#include "system/SafeLibrary.h"
#include "ui/dialog/TKavrindelDlg.h"
#include "ui/toolkit/SharedDrawing.h"

namespace {

constexpr std::int32_t kCloseCellSize = 25;

bool ReadManifestOf(IClient& client) { return client.ReadRemoteManifest(); }

// The dialog object with the values the program starts from.
std::unique_ptr<TKavrindelDlg> MakeDialog() {
    auto dialog = std::make_unique<TKavrindelDlg>();
    dialog->title.clear();
    dialog->closeCellSize = kCloseCellSize;
    dialog->running = false;
    dialog->parent = nullptr;
    dialog->state = Ready;
    dialog->customPanelHidden = true;
    dialog->statusText.clear();
    dialog->objectPrefix = kObjectPrefix;
    dialog->engine.readManifest = ReadManifestOf;
    dialog->engine.worker = InstallWorker;
    return dialog;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: no DLL is ever taken from the program's folder.
    kav::RestrictDllSearchToSystem32();
    kav::AppendSystemFolderToSearchPath();
    CreateSharedDrawingObjects();
    SelectUiLanguage();

    // On the heap: when a worker still runs at the end, the object (whose client part the worker
    // uses) must outlive this frame.
    std::unique_ptr<TKavrindelDlg> dialog = MakeDialog();
    dialog->Create(kav::kDialogClassName, dialog->parent, kav::kDialogStyle, kav::kDialogExStyle);
    dialog->CreateControls();
    dialog->running = true;
    // Shown active and brought to the foreground, so that it has the keyboard (Enter installs,
    // Escape closes). Started from Explorer, elevated or not, the program may take the foreground:
    // it was started by the foreground process. Where that is refused, the window still shows.
    ::ShowWindow(dialog->hwnd, SW_SHOW);
    ::SetForegroundWindow(dialog->hwnd);
    dialog->PlaceWindow();
    // The first frame now, on the screen at once (GdiFlush), and only then the work that an
    // install needs: the user sees the window while the libraries load.
    ::UpdateWindow(dialog->hwnd);
    ::GdiFlush();
    dialog->PrepareInstall();

    TKavrindelDlg& window = *dialog;
    kav::RunModalLoop(
        window.hwnd, [&window] { return window.running; }, [&window] { window.Close(); });

    DeleteSharedDrawingObjects();
    dialog->progress.reset();  // its window went with the dialog's
    CloseInstallLog();
    if (dialog->state == Failed) DeleteDirectoryTree(GetInstallSettings().tempDir.c_str());

    // After an update the worker still deletes the moved-aside installation; the window is gone
    // and the product started, so the wait keeps nobody waiting on screen.
    kav::WaitForMovedAsideRemoval();
    if (dialog->IsWorkerRunning()) {
        // Closed with SC_CLOSE during an install: the worker still uses the client part, the
        // storage library, the settings and the log. None of them is released under it, and the
        // process ends here without running the program's static destructors either.
        dialog.release();
        ::ExitProcess(0);
    }
    dialog->statusText.clear();
    dialog->ReleaseCloudAccount();
    dialog.reset();
    return 0;
}
