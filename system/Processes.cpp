#include "system/Processes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <utility>

#include "app/InstallSettings.h"
#include "system/Handles.h"
#include "system/ProductPaths.h"
#include "system/TextCodec.h"

namespace kav {

namespace {

constexpr size_t kMatchFolderUnits = 2046;   // install folder while looking for the instance
constexpr size_t kLaunchLimitUnits = 2048;   // command line and current folder of the launch
constexpr DWORD kTerminateWaitMs = 5000;     // at most this long for the stopped process to end
constexpr DWORD kAfterTerminatePauseMs = 2500;  // then this long for its files to be released
constexpr UINT kTerminateExitCode = 0;
constexpr char kLaunchArgument[] = " end";

wchar_t AsciiLower(wchar_t unit) {
    return (unit >= L'A' && unit <= L'Z') ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

// The path of the executable of a process: the first module of its module snapshot. False when
// the snapshot or its first entry cannot be read.
bool ReadExecutablePath(DWORD processId, std::wstring& path) {
    UniqueHandle modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!modules) return false;
    MODULEENTRY32W module = {};
    module.dwSize = sizeof module;
    if (!::Module32FirstW(modules.Get(), &module)) return false;
    path = module.szExePath;
    return true;
}

// The id of the first process of the snapshot that is the running instance; 0 when none is.
DWORD FindRunningInstance(const wchar_t* exeName, const std::wstring& expectedPath) {
    UniqueHandle processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(processes.Get(), &entry); more;
         more = ::Process32NextW(processes.Get(), &entry)) {
        // The module list is read only for processes of the right image name.
        if (!EqualIgnoringAsciiCase(entry.szExeFile, exeName)) continue;
        std::wstring executablePath;
        const bool readable = ReadExecutablePath(entry.th32ProcessID, executablePath);
        if (IsRunningInstance(entry.szExeFile, readable ? executablePath.c_str() : nullptr, exeName, expectedPath)) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

}  // namespace

bool EqualIgnoringAsciiCase(const wchar_t* left, const wchar_t* right) {
    if (left == nullptr || right == nullptr) return false;
    for (; *left != L'\0' && *right != L'\0'; ++left, ++right) {
        if (AsciiLower(*left) != AsciiLower(*right)) return false;
    }
    return *left == *right;
}

std::wstring ExpectedExecutablePath(const char* installDir, const wchar_t* exeName) {
    std::wstring path = WideFromNarrow(installDir, kGbkCodePage, kMatchFolderUnits);
    path += L'\\';
    if (exeName != nullptr) path += exeName;
    return path;
}

bool IsRunningInstance(const wchar_t* imageName, const wchar_t* executablePath, const wchar_t* exeName,
                       const std::wstring& expectedPath) {
    if (executablePath == nullptr) return false;
    return EqualIgnoringAsciiCase(imageName, exeName) && expectedPath == executablePath;
}

std::string LaunchCommandLineFor(const std::string& installDir) {
    return "\"" + InstalledProgramPathFor(installDir) + "\"" + kLaunchArgument;
}

bool LaunchTextsFor(const std::string& installDir, std::wstring& commandLine, std::wstring& folder) {
    commandLine.clear();
    folder.clear();
    if (installDir.empty()) return false;
    const std::string narrowCommand = LaunchCommandLineFor(installDir);
    std::wstring command = WideFromNarrow(narrowCommand.c_str(), kGbkCodePage, kLaunchLimitUnits);
    std::wstring directory = WideFromNarrow(installDir.c_str(), kGbkCodePage, kLaunchLimitUnits);
    if (command.empty() || directory.empty()) return false;
    commandLine = std::move(command);
    folder = std::move(directory);
    return true;
}

}  // namespace kav

int TerminateRunningInstance(const wchar_t* exeName) {
    if (exeName == nullptr) return 0;
    const std::wstring expectedPath = kav::ExpectedExecutablePath(GetInstallSettings().installDir.c_str(), exeName);
    const DWORD processId = kav::FindRunningInstance(exeName, expectedPath);
    if (processId == 0) return 0;

    // A process that cannot be opened or stopped still gets the wait and the pause.
    kav::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    ::TerminateProcess(process.Get(), kav::kTerminateExitCode);
    ::WaitForSingleObject(process.Get(), kav::kTerminateWaitMs);
    ::Sleep(kav::kAfterTerminatePauseMs);
    return 0;
}

bool LaunchInstalledProgram() {
    std::wstring commandLine;
    std::wstring folder;
    if (!kav::LaunchTextsFor(GetInstallSettings().installDir, commandLine, folder)) return false;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    const BOOL created = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                                          nullptr, folder.c_str(), &startup, &started);
    kav::UniqueHandle process(started.hProcess);
    kav::UniqueHandle thread(started.hThread);
    return created != FALSE;
}
