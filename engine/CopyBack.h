#pragma once
// Copying the staged folder over the install folder when it cannot simply be renamed into place
// (a file of the old installation is still open, or the folders lie on different volumes).
#include <optional>
#include <string>

namespace kav {

// The command line of the copy; nothing when it does not fit the 1024-byte command buffer.
std::optional<std::string> CopyBackCommandLine(const std::string& tempDir, const std::string& installDir);

// Runs the copy command hidden at idle priority and waits for it. cmd.exe is started by its full
// path in the system folder, with the system folder as its current folder, so that neither cmd.exe
// nor XCOPY can be picked up from the program's folder or the user's current folder. True when it
// ran and exited 0.
bool RunCopyBack(const std::string& commandLine);

// Whether every file of the staged folder now stands in the install folder with its size and
// last-write time. XCOPY /C goes on past a file it cannot replace and still reports success, so
// its exit code alone would let a partly copied version pass as installed.
bool StagedFilesInPlace(const std::string& tempDir, const std::string& installDir);

}  // namespace kav
