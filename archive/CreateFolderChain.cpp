#include "archive/CreateFolderChain.h"

#include <windows.h>

#include "archive/EntryPath.h"

bool CreateFolderChain(const char* path) {
    if (path == nullptr) return false;
    for (const std::string& folder : kav::FolderChain(path)) {
        if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return true;
}
