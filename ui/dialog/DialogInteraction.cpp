// The dialog's clicks, the folder choice, the start of an install, the worker's reports and closing.
#include <io.h>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "app/LocalizedTexts.h"
#include "engine/InstallRecovery.h"
#include "engine/WorkerMessages.h"
#include "system/DpiAwareness.h"
#include "system/Folders.h"
#include "system/Processes.h"
#include "system/TextCodec.h"
#include "ui/dialog/ClickAction.h"
#include "ui/dialog/DialogLayout.h"
#include "ui/dialog/TKavrindelDlg.h"
#include "ui/dialog/WorkerMessageEffect.h"

namespace {

constexpr DWORD kClosePauseMs = 500;
constexpr size_t kExeNameUnits = 101;
constexpr int kPathExists = 0;  // _access mode: existence only
constexpr char kWorkerStartFailedLine[] = "启动安装线程失败";

}  // namespace

void TKavrindelDlg::Close() {
    ::Sleep(kClosePauseMs);
    running = false;
    ::DestroyWindow(hwnd);
}

bool TKavrindelDlg::IsWorkerRunning() const {
    return workerThread && ::WaitForSingleObject(workerThread.Get(), 0) == WAIT_TIMEOUT;
}

void TKavrindelDlg::OnLButtonDown(WPARAM wParam, LPARAM lParam) {
    const POINT pointer = kav::PointerInClient(hwnd);
    switch (kav::ClickActionFor(pointer, state, customPanelHidden, {buttonRect, browseRect, customRect})) {
        case kav::ClickAction::StartInstall:
            StartInstall();
            break;
        case kav::ClickAction::OpenProgram:
            OpenInstalledProgram();
            break;
        case kav::ClickAction::Nothing:
            break;
        case kav::ClickAction::BrowseFolder:
            BrowseFolder();
            break;
        case kav::ClickAction::ToggleCustomPanel:
            customPanelHidden = !customPanelHidden;
            kav::Repaint(hwnd);
            break;
        case kav::ClickAction::Drag:
            BeginDrag(wParam, lParam);
            break;
    }
}

void TKavrindelDlg::OnLButtonUp() {
    // The close box reacts to the release, wherever the press was; not while installing.
    const POINT pointer = kav::PointerInClient(hwnd);
    if (!::PtInRect(&closeRect, pointer) || state == Installing) return;
    CloseFromCloseBox();
}

void TKavrindelDlg::OnKeyUp(UINT virtualKey) {
    switch (keyGesture.Release(virtualKey, state)) {
        case kav::KeyAction::StartInstall:
            StartInstall();
            break;
        case kav::KeyAction::OpenProgram:
            OpenInstalledProgram();
            break;
        case kav::KeyAction::CloseBox:
            CloseFromCloseBox();
            break;
        case kav::KeyAction::Nothing:
            break;
    }
}

void TKavrindelDlg::OpenInstalledProgram() {
    ::ShowWindow(hwnd, SW_HIDE);
    WriteDpiAwareness();
    LaunchInstalledProgram();
    Close();
}

void TKavrindelDlg::CloseFromCloseBox() {
    ::ShowWindow(hwnd, SW_HIDE);
    if (state == Finished) WriteDpiAwareness();
    Close();
}

void TKavrindelDlg::BrowseFolder() {
    const std::string choice = engine.chooseFolder != nullptr
                                   ? engine.chooseFolder(hwnd, BrowseFolderTitleText.Current())
                                   : std::string();
    if (choice.empty()) return;
    RebaseInstallDir(choice);
    kav::Repaint(hwnd);
}

void TKavrindelDlg::ShowFailure(std::int32_t step) {
    state = Failed;
    statusText = kav::FailureText(step);
    kav::Repaint(hwnd);
    CloseInstallLog();
}

void TKavrindelDlg::StartInstall() {
    const std::wstring exeName = kav::WideFromNarrow(kProductExeName, kav::kGbkCodePage, kExeNameUnits);
    TerminateRunningInstance(exeName.c_str());

    InstallSettings& settings = GetInstallSettings();
    // A run cut while it replaced the installation left a moved-aside folder: it goes back or goes
    // away before anything looks for the install folder.
    kav::RecoverInterruptedSwap(settings.installDir);
    if (_access(settings.installDir.c_str(), kPathExists) == 0) {
        const int answer = engine.askReinstall != nullptr
                               ? engine.askReinstall(hwnd, ReinstallWarningText.Current(), WarningCaptionText.Current())
                               : IDCANCEL;
        if (answer != IDOK) return;
    }

    DeleteDirectoryTree(settings.tempDir.c_str());
    MakeDirectoryPath((settings.tempDir + "\\").c_str());
    OpenInstallLog();
    ::UpdateWindow(hwnd);

    IClient& client = *this;
    if (engine.readManifest == nullptr || !engine.readManifest(client)) {
        ShowFailure(StepDownloadManifest);
        return;
    }

    state = Installing;
    HANDLE thread = engine.startThread != nullptr ? engine.startThread(engine.worker, &client) : nullptr;
    if (thread == nullptr) {
        // Nothing would ever report on the progress page: say so and offer the close box.
        WriteLogLine(kWorkerStartFailedLine);
        ShowFailure(StepDownloadManifest);
        return;
    }
    workerThread.Reset(thread);
    if (progress && ::IsWindow(progress->hwnd)) {
        ::MoveWindow(progress->hwnd, kav::kProgressLeft, kav::kProgressTop, kav::kProgressWidth, kav::kProgressHeight,
                     FALSE);
    }
}

void TKavrindelDlg::OnWorkerMessage(UINT message, LPARAM lParam) {
    const kav::WorkerMessageEffect effect = kav::EffectOfWorkerMessage(state, message, lParam);
    if (effect.closeLog) CloseInstallLog();
    if (effect.setPosition && progress) {
        progress->position = effect.position;
        kav::Repaint(progress->hwnd);
    }
    state = effect.state;
    if (effect.replaceStatus) statusText = effect.status;
    if (effect.hideProgress && progress && progress->hwnd != nullptr) ::ShowWindow(progress->hwnd, SW_HIDE);
    if (effect.repaint) kav::Repaint(hwnd);
    if (effect.paintNow) ::UpdateWindow(hwnd);
}
