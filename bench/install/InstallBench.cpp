// The install worker's wall time for one complete install against a bucket given on the command
// line: what the dialog does before it starts the worker, then the worker on its own thread.
// Usage: kavrindel_install_bench <endpoint> <parent folder of the install>
// Prints the worker's seconds up to its last message (what the user waits for) on success; exit
// code 1 when the install failed. The time the worker goes on after that message (the deletion of
// a moved-aside installation after an update) is printed on its own.
#include <windows.h>
#include <process.h>

#include <cstdio>
#include <string>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "engine/InstallWorker.h"
#include "engine/WorkerMessages.h"
#include "system/Folders.h"

namespace {

LRESULT CALLBACK Sink(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kavrindel_install_bench <endpoint> <parent folder>\n");
        return 2;
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Sink;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KavrindelBenchSink";
    ::RegisterClassExW(&wc);
    MainWindowHandle = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);

    InstallSettings& settings = GetInstallSettings();
    settings.packageCode = "201805";
    settings.productTitle = "Qerlix Trading System Bench";
    settings.uiLanguageId = 1033;
    kav::DerivePathsFrom(settings, argv[2], "", settings.packageCode);

    IClient client;
    client.objectPrefix = kObjectPrefix;
    client.InitCloudAccount();
    client.endpoint = argv[1];
    kav::oss::InitializeSdk();
    client.ossClient = new kav::oss::OssClient(client.endpoint, client.accessKeyId, client.accessKeySecret,
                                               kav::oss::ClientConfiguration());
    DeleteDirectoryTree(settings.tempDir.c_str());
    MakeDirectoryPath((settings.tempDir + "\\").c_str());
    OpenInstallLog();
    if (!client.ReadRemoteManifest()) return 1;

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &InstallWorker, static_cast<IClient*>(&client), 0, nullptr));
    bool done = false;
    MSG msg;
    LARGE_INTEGER last = start;
    int lastStep = -1;
    LARGE_INTEGER finished = start;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_INSTALL_STEP || msg.message == WM_INSTALL_DONE || msg.message == WM_INSTALL_FAILED) {
            LARGE_INTEGER now;
            ::QueryPerformanceCounter(&now);
            // Each step's share of the time, for finding where it goes.
            std::fprintf(stderr, "step %d: %.3f s\n", lastStep,
                         static_cast<double>(now.QuadPart - last.QuadPart) / static_cast<double>(frequency.QuadPart));
            last = now;
            lastStep = msg.message == WM_INSTALL_STEP ? static_cast<int>(msg.lParam) : -1;
        }
        if (msg.message == WM_INSTALL_DONE || msg.message == WM_INSTALL_FAILED) {
            done = msg.message == WM_INSTALL_DONE;
            ::QueryPerformanceCounter(&finished);
            break;
        }
    }
    ::WaitForSingleObject(thread, INFINITE);
    ::QueryPerformanceCounter(&end);
    ::CloseHandle(thread);
    const double seconds = static_cast<double>(frequency.QuadPart);
    std::fprintf(stderr, "after the last message: %.3f s\n", static_cast<double>(end.QuadPart - finished.QuadPart) / seconds);
    std::printf("%.3f\n", static_cast<double>(finished.QuadPart - start.QuadPart) / seconds);
    return done ? 0 : 1;
}
