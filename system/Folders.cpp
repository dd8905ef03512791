#include "system/Folders.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

namespace kav {

namespace {

constexpr size_t kPrefixBufferBytes = 260;
constexpr char kFolderNoticeCaption[] = "提示";
static_assert(kDeleteTreeFlags == (FOF_SILENT | FOF_NOCONFIRMATION));

FolderNoticeHandler g_noticeHandler = &ShowFolderNoticeBox;

}  // namespace

void ShowFolderNoticeBox(const char* text, const char* caption) {
    ::MessageBoxA(nullptr, text, caption, MB_OK);
}

FolderNoticeHandler SetFolderNoticeHandler(FolderNoticeHandler handler) {
    const FolderNoticeHandler previous = g_noticeHandler;
    g_noticeHandler = handler != nullptr ? handler : &ShowFolderNoticeBox;
    return previous;
}

}  // namespace kav

bool MakeDirectoryPath(const char* path) {
    if (path == nullptr) return true;
    const size_t length = std::strlen(path);
    if (length >= kav::kPrefixBufferBytes) return false;

    char prefix[kav::kPrefixBufferBytes] = {};
    for (const char* slash = std::strchr(path, '\\'); slash != nullptr; slash = std::strchr(slash + 1, '\\')) {
        const size_t prefixLength = static_cast<size_t>(slash - path) + 1;
        std::memcpy(prefix, path, prefixLength);
        prefix[prefixLength] = '\0';

        WIN32_FILE_ATTRIBUTE_DATA attributes;
        if (::GetFileAttributesExA(prefix, GetFileExInfoStandard, &attributes)) continue;
        if (!::CreateDirectoryA(prefix, nullptr)) {
            kav::g_noticeHandler(prefix, kav::kFolderNoticeCaption);
            return false;
        }
    }
    return true;
}

bool DeleteDirectoryTree(const char* path) {
    if (path == nullptr) return false;
    const size_t length = std::strlen(path);
    // A list of one name, ended by two zero bytes.
    std::vector<char> from(length + 2, '\0');
    std::memcpy(from.data(), path, length);

    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.data();
    operation.pTo = nullptr;
    operation.fFlags = static_cast<FILEOP_FLAGS>(kav::kDeleteTreeFlags);
    return ::SHFileOperationA(&operation) == 0;
}
