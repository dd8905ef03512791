#include "tools/headless-install/HeadlessInstall.h"

#include <process.h>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "engine/InstallWorker.h"
#include "engine/WorkerMessages.h"
#include "system/Folders.h"

namespace kav {

namespace {

constexpr char kPackageCode[] = "201805";
constexpr wchar_t kSinkClassName[] = L"KavrindelHeadlessInstallSink";

LRESULT CALLBACK Sink(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateMessageSink() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Sink;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kSinkClassName;
    ::RegisterClassExW(&wc);
    return ::CreateWindowExW(0, kSinkClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

}  // namespace

bool PrepareHeadlessInstall(const HeadlessInstall& run, IClient& client) {
    MainWindowHandle = CreateMessageSink();

    InstallSettings& settings = GetInstallSettings();
    settings.packageCode = kPackageCode;
    settings.productTitle = run.productTitle;
    settings.uiLanguageId = run.uiLanguageId;
    DerivePathsFrom(settings, run.parentFolder, "", settings.packageCode);

    client.objectPrefix = kObjectPrefix;
    client.InitCloudAccount();
    client.endpoint = run.endpoint;
    oss::InitializeSdk();
    // The client stays until the process ends, as the dialog's does.
    client.ossClient =
        new oss::OssClient(client.endpoint, client.accessKeyId, client.accessKeySecret, oss::ClientConfiguration());
    DeleteDirectoryTree(settings.tempDir.c_str());
    MakeDirectoryPath((settings.tempDir + "\\").c_str());
    OpenInstallLog();
    return client.ReadRemoteManifest();
}

HANDLE StartInstallWorker(IClient& client) {
    return reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &InstallWorker, static_cast<IClient*>(&client), 0, nullptr));
}

}  // namespace kav
