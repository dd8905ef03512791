#include "archive/TUnzip.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/CreateFolderChain.h"
#include "archive/DestinationCheck.h"
#include "archive/EntryPath.h"
#include "archive/OverwritePrompt.h"
#include "system/Handles.h"

namespace {

constexpr unsigned kCopyBufferBytes = 2048;
constexpr unsigned kWriteRunBytes = 64 * 1024;
constexpr unsigned long kStoredMethod = 0;
constexpr unsigned long kDeflatedMethod = Z_DEFLATED;

kav::UniqueHandle CreateTargetFile(const std::string& path) {
    return kav::UniqueHandle(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Gives the file the entry's MS-DOS date and time, read as local time, as creation and last-write
// time; the last-access time stays as it is. Set on the handle that wrote the data, before it is
// closed (a second open per file would cost a file-system round trip for every entry). Failures
// leave the times as the file system set them.
void ApplyEntryTime(HANDLE file, unsigned long dosDate) {
    FILETIME local, utc;
    if (!::DosDateTimeToFileTime(HIWORD(dosDate), LOWORD(dosDate), &local)) return;
    if (!::LocalFileTimeToFileTime(&local, &utc)) return;
    ::SetFileTime(file, &utc, nullptr, &utc);
}

// Copies the open entry's data into file, reading it in 2048-byte pieces. The pieces are gathered
// and written in runs of up to 64 KiB: one write per piece would cost a system call (and a trip
// through Wine's file layer) for every 2 KiB. 0 when all of it arrived intact; a negative minizip
// result for a read or inflate error; -1 for a failed or short write.
int CopyEntryData(unzFile archive, HANDLE file, std::vector<char>& run) {
    run.resize(kWriteRunBytes);
    char* const pending = run.data();
    DWORD pendingBytes = 0;
    const auto flush = [&]() {
        DWORD written = 0;
        const bool ok = ::WriteFile(file, pending, pendingBytes, &written, nullptr) && written == pendingBytes;
        pendingBytes = 0;
        return ok;
    };
    int n;
    while ((n = unzReadCurrentFile(archive, pending + pendingBytes, kCopyBufferBytes)) > 0) {
        pendingBytes += static_cast<DWORD>(n);
        if (pendingBytes + kCopyBufferBytes > kWriteRunBytes && !flush()) return -1;
    }
    if (pendingBytes > 0 && !flush()) return -1;
    if (n < 0) return n;
    // minizip ends a stored entry whose data run out early with 0 as well, and checks the CRC only
    // when the whole catalogue size arrived: data that stop short are damaged too.
    if (unzeof(archive) != 1) return UNZ_BADZIPFILE;
    return 0;
}

}  // namespace

TUnzip::~TUnzip() { Close(); }

void TUnzip::Close() {
    if (archive != nullptr) {
        unzClose(archive);
        archive = nullptr;
    }
    archiveFolder[0] = '\0';
    ensuredFolders.clear();
}

bool TUnzip::EnsureFolderChain(const std::string& path) {
    if (ensuredFolders.count(path) != 0) return true;
    if (!CreateFolderChain(path.c_str())) return false;
    ensuredFolders.insert(path);
    return true;
}

bool TUnzip::Open(const char* path) {
    Close();
    if (path == nullptr || path[0] == '\0') return false;
    const std::string full = kav::FullPathOf(path);
    if (full.empty()) return false;
    archive = unzOpen(full.c_str());
    if (archive == nullptr) return false;
    const std::string folder = kav::FolderOfFullPath(full);
    std::memcpy(archiveFolder, folder.c_str(), folder.size() + 1);
    return true;
}

bool TUnzip::ExtractAll(const char* destination) {
    if (archive == nullptr || destination == nullptr) return false;
    if (!EnsureFolderChain(destination)) return false;
    unz_global_info globalInfo = {};
    if (unzGetGlobalInfo(archive, &globalInfo) != UNZ_OK || globalInfo.number_entry == 0) return false;
    if (unzGoToFirstFile(archive) != UNZ_OK) return false;
    for (;;) {
        if (!ExtractCurrent(destination)) return false;
        const int next = unzGoToNextFile(archive);
        if (next == UNZ_END_OF_LIST_OF_FILE) return true;
        // A catalogue entry that cannot be read hides the rest of the archive.
        if (next != UNZ_OK) return false;
    }
}

bool TUnzip::ExtractCurrent(const char* destination) {
    if (archive == nullptr) return false;
    const std::string folder = destination != nullptr ? destination : archiveFolder;
    if (!EnsureFolderChain(folder)) return false;

    char name[kav::kEntryNameBufferBytes];
    std::memset(name, 0, sizeof name);
    unz_file_info info;
    std::memset(&info, 0, sizeof info);
    if (unzGetCurrentFileInfo(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    // A name that fills the buffer arrives cut and unterminated.
    if (info.size_filename >= kav::kEntryNameBufferBytes) return false;
    const std::string relative = kav::EntryNameToRelativePath(name);
    const bool folderEntry = kav::IsFolderEntry(info.external_fa);

    if (!kav::IsSafeEntryName(relative)) return false;
    const std::string path = kav::JoinEntryPath(folder, relative);
    if (path.empty()) return false;
    if (!kav::StaysInsideDestination(folder, path, folderEntry)) return false;

    if (folderEntry) return EnsureFolderChain(path);

    const std::string parent = kav::ParentOfPath(path);
    if (parent.empty() || !EnsureFolderChain(parent)) return false;

    kav::UniqueHandle file;
    for (;;) {
        file = CreateTargetFile(path);
        if (file) break;
        const int answer = kav::AskOverwrite(relative.c_str());
        if (answer == IDIGNORE) return true;
        if (answer != IDRETRY) return false;
    }

    // minizip accepts a bzip2 entry for opening even when built without bzip2, and its read loop
    // then never ends; only the two methods it can decode are opened.
    if (info.compression_method != kStoredMethod && info.compression_method != kDeflatedMethod) return false;
    if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
    const int copied = CopyEntryData(archive, file.Get(), writeRun);
    const int closed = unzCloseCurrentFile(archive);
    if (copied != 0 || closed != UNZ_OK) return false;  // the written file stays as it is

    ApplyEntryTime(file.Get(), info.dosDate);
    return true;
}
