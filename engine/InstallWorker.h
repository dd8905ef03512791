#pragma once
// The install pipeline: one fixed sequence of steps on its own thread, from the manifest's package
// names to a registered installation. It reports to the dialog only through posted messages.
#include <optional>
#include <string>

class IClient;

// Thread procedure for _beginthreadex; the argument is the address of the dialog's IClient part.
// 1 after a successful run, 0 after a failed step.
unsigned __stdcall InstallWorker(void* client);

// Deletes the manifest copy and the downloaded package files from the staging folder.
void CleanInstallFiles(IClient* client);

namespace kav {

// The command line that copies the staged folder over the install folder when a rename is not
// possible; nothing when it does not fit the 1024-byte command buffer.
std::optional<std::string> CopyBackCommandLine(const std::string& tempDir, const std::string& installDir);

// Runs the copy command hidden at idle priority, with cmd.exe taken from the system folder (never
// from the program's or the current folder), and waits for it. True when it ran and exited 0.
bool RunCopyBack(const std::string& commandLine);

}  // namespace kav
