#include "archive/DestinationCheck.h"

#include <windows.h>

#include "archive/EntryPath.h"

namespace kav {

namespace {
constexpr DWORD kFullPathBufferBytes = 260;
}

std::string FullPathOf(const std::string& path) {
    char full[kFullPathBufferBytes] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), kFullPathBufferBytes, full, nullptr);
    if (length == 0 || length >= kFullPathBufferBytes) return {};
    return std::string(full, length);
}

bool StaysInsideDestination(const std::string& destination, const std::string& joined, bool folderEntry) {
    const std::string fullDestination = FullPathOf(destination);
    const std::string fullJoined = FullPathOf(joined);
    if (fullDestination.empty() || fullJoined.empty()) return false;
    return IsPathInsideFolder(fullDestination, fullJoined, folderEntry);
}

}  // namespace kav
