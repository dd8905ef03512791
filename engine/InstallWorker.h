#pragma once
// The install pipeline: one fixed sequence of steps on its own thread, from the manifest's package
// names to a registered installation. It reports to the dialog only through posted messages.
class IClient;

// Thread procedure for _beginthreadex; the argument is the address of the dialog's IClient part.
// 1 after a successful run, 0 after a failed step.
unsigned __stdcall InstallWorker(void* client);

// Deletes the manifest copy and the downloaded package files from the staging folder.
void CleanInstallFiles(IClient* client);

