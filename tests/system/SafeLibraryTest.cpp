#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "system/SafeLibrary.h"

namespace {

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

std::wstring SystemFolder() {
    wchar_t dir[MAX_PATH] = {};
    ::GetSystemDirectoryW(dir, MAX_PATH);
    return dir;
}

bool SameFolder(const std::wstring& file, const std::wstring& folder) {
    const size_t slash = file.find_last_of(L'\\');
    return slash != std::wstring::npos && ::CompareStringOrdinal(file.c_str(), static_cast<int>(slash), folder.c_str(),
                                                                 static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

constexpr wchar_t kBareLoadArgument[] = L"--kav-bare-load";
constexpr DWORD kPlantedCopyLoaded = 42;

// The child process of the trap test: loads the library by bare name before anything else does.
const bool g_bareLoadChild = [] {
    if (std::wstring(::GetCommandLineW()).find(kBareLoadArgument) == std::wstring::npos) return false;
    HMODULE bare = ::LoadLibraryExW(L"wtsapi32.dll", nullptr, 0);
    ::ExitProcess(bare != nullptr && ::GetProcAddress(bare, "KavrindelPlantedMarker") != nullptr ? kPlantedCopyLoaded : 1);
}();

}  // namespace

// The planted wtsapi32.dll beside this executable is what a bare-name load finds first; the safe
// loader must take the system's copy all the same.
TEST(SafeLibrary, IgnoresALibraryPlantedBesideTheProgram) {
    HMODULE safe = kav::LoadSystemLibrary(L"wtsapi32.dll");
    ASSERT_NE(safe, nullptr);
    EXPECT_TRUE(SameFolder(ModulePath(safe), SystemFolder())) << ModulePath(safe).c_str();
    EXPECT_EQ(::GetProcAddress(safe, "KavrindelPlantedMarker"), nullptr);
    EXPECT_NE(::GetProcAddress(safe, "WTSQuerySessionInformationA"), nullptr);
}

TEST(SafeLibrary, TheBareNameLoadWouldHaveTakenThePlantedCopy) {
    // Proves that the fixture is a real trap: in a fresh process (where no wtsapi32 is loaded yet)
    // a bare-name load finds the copy in the program's folder first.
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + kBareLoadArgument;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    ::WaitForSingleObject(process.hProcess, 30000);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, kPlantedCopyLoaded);
}

TEST(SafeLibrary, LoadsSystemLibrariesAndTheirFunctions) {
    for (const wchar_t* name : {L"winhttp.dll", L"bcrypt.dll", L"shcore.dll"}) {
        HMODULE module = kav::LoadSystemLibrary(name);
        ASSERT_NE(module, nullptr) << name;
        EXPECT_TRUE(SameFolder(ModulePath(module), SystemFolder())) << ModulePath(module).c_str();
    }
    EXPECT_EQ(kav::LoadSystemLibrary(L"no-such-library-kavrindel.dll"), nullptr);
    EXPECT_EQ(kav::LoadSystemLibrary(L""), nullptr);
    using Fn = BOOL(WINAPI*)(HANDLE, DWORD, int, LPSTR*, DWORD*);
    EXPECT_NE(kav::GetLibraryFunction<Fn>(kav::LoadSystemLibrary(L"wtsapi32.dll"), "WTSQuerySessionInformationA"), nullptr);
    EXPECT_EQ(kav::GetLibraryFunction<Fn>(kav::LoadSystemLibrary(L"wtsapi32.dll"), "NoSuchExport"), nullptr);
}

TEST(SafeLibrary, RestrictsTheProcessSearchPath) {
    ASSERT_TRUE(kav::LoaderSupportsSearchFlags());
    EXPECT_TRUE(kav::RestrictDllSearchToSystem32());
}
