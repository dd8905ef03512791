#pragma once
// The installer puts the system folder at the end of its own executable search path, which every
// program it starts (the installed product above all) inherits.
#include <optional>
#include <string>

namespace kav {

// The search path after appending the system folder. path is the current value (empty when it
// cannot be read); systemRoot the 8-bit (code page 936) SystemRoot value, null when unset.
// Without SystemRoot nothing is to be written (nullopt). Otherwise path gets a ';' unless it is
// empty or already ends in one, then SystemRoot + "\system32;" when that converts within 1024
// UTF-16 units (terminator included); a longer SystemRoot adds nothing after the ';'.
std::optional<std::wstring> SearchPathWithSystemFolder(const std::wstring& path, const char* systemRoot);

// Reads "path" and SystemRoot (the C runtime's copy of the environment) and writes "Path" by the
// rule above.
void AppendSystemFolderToSearchPath();

}  // namespace kav
