// An install run as the dialog prepares it, without the dialog: for programs of the tests and
// benchmarks that drive the install worker on its own.
#pragma once

#include <windows.h>

#include <cstdint>

#include "cloud/IClient.h"

namespace kav {

// What differs between the programs that use it.
struct HeadlessInstall {
    const char* endpoint;      // host:port of the bucket
    const char* parentFolder;  // the product folder is made below it
    const char* productTitle;
    std::int32_t uiLanguageId;
};

// Does what the dialog does before it starts the worker: a message-only window receives the
// worker's messages (MainWindowHandle), the settings name the product below the parent folder,
// `client` is set up for the endpoint, the staging folder is emptied and made again, the install
// log is opened and the manifest read. False when the manifest cannot be read.
bool PrepareHeadlessInstall(const HeadlessInstall& run, IClient& client);

// Starts InstallWorker for `client` on a new thread; its handle, or null.
HANDLE StartInstallWorker(IClient& client);

}  // namespace kav
