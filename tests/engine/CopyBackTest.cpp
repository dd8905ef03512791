#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "engine/CopyBack.h"

namespace {

TEST(CopyBackCommandLine, QuotesBothFoldersAndMarksTheDestinationAsAFolder) {
    EXPECT_EQ(kav::CopyBackCommandLine("C:\\A\\KAvrindel201805v9.5temp", "C:\\A\\KAvrindel201805v9.5"),
              "cmd.exe /c XCOPY \"C:\\A\\KAvrindel201805v9.5temp\" \"C:\\A\\KAvrindel201805v9.5\\\" /S /E /Y /C");
}

TEST(CopyBackCommandLine, RefusesWhatDoesNotFitTheBuffer) {
    const std::string fixedPart = "cmd.exe /c XCOPY \"\" \"\\\" /S /E /Y /C";
    const std::string temp = "C:\\t";
    // 1023 bytes of command line fit with the terminator; 1024 do not.
    const std::string fits(1023 - fixedPart.size() - temp.size(), 'x');
    ASSERT_TRUE(kav::CopyBackCommandLine(temp, fits).has_value());
    EXPECT_EQ(kav::CopyBackCommandLine(temp, fits)->size(), 1023u);
    EXPECT_FALSE(kav::CopyBackCommandLine(temp, fits + "x").has_value());
}

std::string OwnFolder() {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\'));
}

// A cmd.exe lies beside the program and in the current folder; the copy must run the system's.
TEST(RunCopyBack, TakesCmdFromTheSystemFolderOnly) {
    const std::string planted = OwnFolder() + "\\cmd.exe";
    ASSERT_TRUE(kavtest::PathExists(planted));
    kavtest::TempFolder current("kav-cwd");
    ASSERT_TRUE(::CopyFileA(planted.c_str(), (current / "cmd.exe").c_str(), FALSE));
    ASSERT_TRUE(::SetCurrentDirectoryA(current.Path().c_str()));
    ::DeleteFileA((OwnFolder() + "\\planted-ran.txt").c_str());

    EXPECT_TRUE(kav::RunCopyBack("cmd.exe /c exit 0"));
    // The planted program always exits 0; only the real interpreter passes the exit code on.
    EXPECT_FALSE(kav::RunCopyBack("cmd.exe /c exit 3"));
    EXPECT_FALSE(kavtest::PathExists(OwnFolder() + "\\planted-ran.txt"));
    EXPECT_FALSE(kavtest::PathExists(current / "planted-ran.txt"));
    ::SetCurrentDirectoryA(OwnFolder().c_str());
}

bool ChildCommandRunning() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found; more = ::Process32NextW(snapshot, &entry)) {
        found = entry.th32ParentProcessID == ::GetCurrentProcessId() && ::lstrcmpiW(entry.szExeFile, L"cmd.exe") == 0;
    }
    ::CloseHandle(snapshot);
    return found;
}

// The priority class itself cannot be checked here: the test bench reports every process at
// normal priority whatever it was created with.
TEST(RunCopyBack, WaitsForTheCommandToEnd) {
    std::atomic<bool> done{false};
    std::atomic<bool> seenRunning{false};
    std::thread copy([&] {
        EXPECT_TRUE(kav::RunCopyBack("cmd.exe /c for /L %i in (1,1,30000) do rem"));
        done = true;
    });
    while (!done) {
        if (ChildCommandRunning()) seenRunning = true;
        ::Sleep(1);
    }
    copy.join();
    EXPECT_TRUE(seenRunning);
    EXPECT_FALSE(ChildCommandRunning()) << "the call returns only after the command ended";
}

TEST(StagedFilesInPlace, EveryStagedFileWithItsSizeAndTime) {
    kavtest::TempFolder staged("kav-staged");
    kavtest::TempFolder installed("kav-installed");
    ASSERT_TRUE(::CreateDirectoryA((staged / "sub").c_str(), nullptr));
    kavtest::WriteFileBytes(staged / "a.txt", "alpha");
    kavtest::WriteFileBytes(staged / "sub\\b.txt", "beta");
    kavtest::WriteFileBytes(installed / "extra.txt", "only in the install folder");
    EXPECT_FALSE(kav::StagedFilesInPlace(staged.Path(), installed.Path())) << "nothing copied yet";

    ASSERT_TRUE(kav::RunCopyBack(*kav::CopyBackCommandLine(staged.Path(), installed.Path())));
    EXPECT_TRUE(kav::StagedFilesInPlace(staged.Path(), installed.Path()));

    // Same size, other time: a file that was not replaced.
    kavtest::WriteFileBytes(installed / "sub\\b.txt", "BETA");
    FILETIME old = {0x10000000, 0x01D00000};
    HANDLE h = ::CreateFileA((installed / "sub\\b.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::SetFileTime(h, nullptr, nullptr, &old);
    ::CloseHandle(h);
    EXPECT_FALSE(kav::StagedFilesInPlace(staged.Path(), installed.Path()));

    ASSERT_TRUE(::DeleteFileA((installed / "sub\\b.txt").c_str()));
    EXPECT_FALSE(kav::StagedFilesInPlace(staged.Path(), installed.Path()));
}

}  // namespace
