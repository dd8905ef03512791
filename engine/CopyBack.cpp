#include "engine/CopyBack.h"

#include <windows.h>

#include <cstdio>

#include "system/Handles.h"

namespace kav {

namespace {

constexpr size_t kCommandLineBytes = 1024;
constexpr char kCopyBackFormat[] = "cmd.exe /c XCOPY \"%s\" \"%s\\\" /S /E /Y /C";
constexpr char kCommandInterpreter[] = "\\cmd.exe";

std::string SystemFolder() {
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(folder, length);
}

bool SameFile(const WIN32_FILE_ATTRIBUTE_DATA& staged, const std::string& installedPath) {
    WIN32_FILE_ATTRIBUTE_DATA installed;
    if (!::GetFileAttributesExA(installedPath.c_str(), GetFileExInfoStandard, &installed)) return false;
    return staged.nFileSizeHigh == installed.nFileSizeHigh && staged.nFileSizeLow == installed.nFileSizeLow &&
           ::CompareFileTime(&staged.ftLastWriteTime, &installed.ftLastWriteTime) == 0;
}

bool TreeInPlace(const std::string& staged, const std::string& installed) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle find(::FindFirstFileA((staged + "\\*").c_str(), &entry));
    if (!find) return false;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string from = staged + "\\" + name;
        const std::string to = installed + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!TreeInPlace(from, to)) return false;
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExA(from.c_str(), GetFileExInfoStandard, &data) || !SameFile(data, to)) return false;
    } while (::FindNextFileA(find.Get(), &entry));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace

std::optional<std::string> CopyBackCommandLine(const std::string& tempDir, const std::string& installDir) {
    char buffer[kCommandLineBytes] = {};
    const int length = std::snprintf(buffer, sizeof buffer, kCopyBackFormat, tempDir.c_str(), installDir.c_str());
    if (length < 0 || static_cast<size_t>(length) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(length));
}

bool RunCopyBack(const std::string& commandLine) {
    const std::string systemFolder = SystemFolder();
    if (systemFolder.empty()) return false;
    const std::string interpreter = systemFolder + kCommandInterpreter;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created = {};
    std::string mutableLine = commandLine;
    if (!::CreateProcessA(interpreter.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS,
                          nullptr, systemFolder.c_str(), &startup, &created)) {
        return false;
    }
    UniqueHandle process(created.hProcess);
    UniqueHandle thread(created.hThread);
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 1;
    if (!::GetExitCodeProcess(process.Get(), &exitCode)) return false;
    return exitCode == 0;
}

bool StagedFilesInPlace(const std::string& tempDir, const std::string& installDir) {
    return TreeInPlace(tempDir, installDir);
}

}  // namespace kav
