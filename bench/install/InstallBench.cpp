// The install worker's wall time for one complete install against a bucket given on the command
// line: what the dialog does before it starts the worker, then the worker on its own thread.
// Usage: kavrindel_install_bench <endpoint> <parent folder of the install>
// Prints the worker's seconds up to its last message (what the user waits for) on success; exit
// code 1 when the install failed. The time the worker goes on after that message (the deletion of
// a moved-aside installation after an update) is printed on its own.
#include <windows.h>

#include <cstdio>

#include "cloud/IClient.h"
#include "engine/WorkerMessages.h"
#include "tools/headless-install/HeadlessInstall.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kavrindel_install_bench <endpoint> <parent folder>\n");
        return 2;
    }
    IClient client;
    if (!kav::PrepareHeadlessInstall({argv[1], argv[2], "Qerlix Trading System Bench", 1033}, client)) return 1;

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    HANDLE thread = kav::StartInstallWorker(client);
    if (thread == nullptr) return 1;
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
