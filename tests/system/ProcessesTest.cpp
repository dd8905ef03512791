#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/InstallSettings.h"
#include "system/Processes.h"
#include "system/TextCodec.h"

namespace {

constexpr wchar_t kExeName[] = L"kavrindel v9.5.exe";
constexpr DWORD kStartTimeoutMs = 20000;
constexpr ULONGLONG kAtOnceMs = 2000;  // well below the 2.5 s pause that follows a stop

std::wstring Widen(const std::string& text) { return kav::WideFromNarrow(text.c_str(), CP_ACP, 65536); }
std::string Gbk(const std::wstring& text) { return kav::NarrowFromWide(text.c_str(), kav::kGbkCodePage, 65536); }
std::string Utf8(const std::wstring& text) { return kav::NarrowFromWide(text.c_str(), CP_UTF8, 65536); }

std::wstring StandInExe() { return Widen(kavtest::BinaryDir() + "\\tools\\sample-product\\kavrindel_standin.exe"); }

// The record the stand-in writes next to itself: key=value lines.
std::map<std::string, std::string> ParseRecord(const std::string& bytes) {
    std::map<std::string, std::string> record;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 2;
    }
    return record;
}

std::string ReadWide(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[4096];
    DWORD n = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &n, nullptr) && n > 0) bytes.append(chunk, n);
    ::CloseHandle(file);
    return bytes;
}

// Waits until the stand-in's record names the given process (0: any) and returns the record.
std::map<std::string, std::string> WaitForRecord(const std::wstring& recordPath, DWORD pid) {
    const ULONGLONG until = ::GetTickCount64() + kStartTimeoutMs;
    do {
        auto record = ParseRecord(ReadWide(recordPath));
        if (record.count("pid") != 0 && (pid == 0 || record["pid"] == std::to_string(pid))) return record;
        ::Sleep(20);
    } while (::GetTickCount64() < until);
    return {};
}

// A folder holding a copy of the stand-in as "kavrindel v9.5.exe", like an installed product.
class ProductFolder {
public:
    ProductFolder(const kavtest::TempFolder& base, const std::wstring& name) : path_(Widen(base.Path()) + L"\\" + name) {
        ::CreateDirectoryW(path_.c_str(), nullptr);
        copied_ = ::CopyFileW(StandInExe().c_str(), Exe().c_str(), FALSE) != FALSE;
    }
    ~ProductFolder() {
        for (int attempt = 0; attempt < 50; ++attempt) {
            ::DeleteFileW(Exe().c_str());
            ::DeleteFileW(Record().c_str());
            if (::RemoveDirectoryW(path_.c_str())) return;
            ::Sleep(20);
        }
    }
    ProductFolder(const ProductFolder&) = delete;
    ProductFolder& operator=(const ProductFolder&) = delete;

    bool Copied() const { return copied_; }
    const std::wstring& Wide() const { return path_; }
    std::string Narrow() const { return Gbk(path_); }  // the installer's narrow text
    std::wstring Exe() const { return path_ + L"\\" + kExeName; }
    std::wstring Record() const { return path_ + L"\\standin-record.txt"; }

private:
    std::wstring path_;
    bool copied_ = false;
};

// Every process a test starts or causes; all of them are stopped when the test ends.
class RunningCopies {
public:
    ~RunningCopies() {
        for (HANDLE process : processes_) {
            ::TerminateProcess(process, 1);
            ::WaitForSingleObject(process, 5000);
            ::CloseHandle(process);
        }
    }

    // Starts the folder's copy and returns its id once it runs (its record names it); 0 on failure.
    DWORD Start(const ProductFolder& folder) {
        std::wstring commandLine = L"\"" + folder.Exe() + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        if (!::CreateProcessW(folder.Exe().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.Wide().c_str(), &startup, &started)) {
            return 0;
        }
        ::CloseHandle(started.hThread);
        processes_.push_back(started.hProcess);
        return WaitForRecord(folder.Record(), started.dwProcessId).empty() ? 0 : started.dwProcessId;
    }

    // Creates the folder's copy suspended, before its loader has run; returns its id or 0.
    DWORD StartSuspended(const ProductFolder& folder) {
        std::wstring commandLine = L"\"" + folder.Exe() + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        if (!::CreateProcessW(folder.Exe().c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                              nullptr, folder.Wide().c_str(), &startup, &started)) {
            return 0;
        }
        ::CloseHandle(started.hThread);
        processes_.push_back(started.hProcess);
        return started.dwProcessId;
    }

    // Takes over a process that something else started.
    void Adopt(DWORD pid) {
        HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (process != nullptr) processes_.push_back(process);
    }

    // Whether the process has not ended; also false for an unknown id.
    bool IsRunning(DWORD pid) const {
        for (HANDLE process : processes_) {
            if (::GetProcessId(process) == pid) return ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        }
        return false;
    }

    DWORD ExitCode(DWORD pid) const {
        DWORD code = STILL_ACTIVE;
        for (HANDLE process : processes_) {
            if (::GetProcessId(process) == pid) ::GetExitCodeProcess(process, &code);
        }
        return code;
    }

private:
    std::vector<HANDLE> processes_;
};

// Sets installDir for one test and restores it afterwards.
class InstallDirScope {
public:
    explicit InstallDirScope(const std::string& dir) : saved_(GetInstallSettings().installDir) {
        GetInstallSettings().installDir = dir;
    }
    ~InstallDirScope() { GetInstallSettings().installDir = saved_; }

private:
    std::string saved_;
};

ULONGLONG TimedTerminate(const wchar_t* exeName) {
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(TerminateRunningInstance(exeName), 0);
    return ::GetTickCount64() - start;
}

// ---- the matching rule ----

struct MatchCase {
    const wchar_t* imageName;
    const wchar_t* executablePath;  // null: the module list could not be read
    const wchar_t* exeName;
    bool matches;
};

std::string Show(const wchar_t* text) { return text == nullptr ? "(null)" : "\"" + Utf8(text) + "\""; }

void PrintTo(const MatchCase& c, std::ostream* out) {
    *out << "image " << Show(c.imageName) << ", path " << Show(c.executablePath) << ", exe " << Show(c.exeName);
}

class RunningInstanceRule : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RunningInstanceRule, ImageNameWithoutAsciiCaseAndExactPath) {
    const MatchCase& c = GetParam();
    const std::wstring expected = L"C:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe";
    EXPECT_EQ(kav::IsRunningInstance(c.imageName, c.executablePath, c.exeName, expected), c.matches);
}

constexpr wchar_t kInstalledPath[] = L"C:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe";

INSTANTIATE_TEST_SUITE_P(
    Table, RunningInstanceRule,
    ::testing::Values(
        MatchCase{L"kavrindel v9.5.exe", kInstalledPath, kExeName, true},
        MatchCase{L"KAVRINDEL V9.5.EXE", kInstalledPath, kExeName, true},
        MatchCase{L"kavrindel v9.5.exe", kInstalledPath, L"Kavrindel V9.5.Exe", true},
        MatchCase{L"kavrindel v9.5.exe", nullptr, kExeName, false},  // module list unreadable
        MatchCase{L"kavrindel v9.5.exe", L"c:\\apps\\kavrindel201805v9.5\\kavrindel v9.5.exe", kExeName, false},
        MatchCase{L"kavrindel v9.5.exe", L"C:\\Apps\\KAvrindel201805v9.5\\KAVRINDEL V9.5.EXE", kExeName, false},
        MatchCase{L"kavrindel v9.5.exe", L"C:\\Apps\\Other\\kavrindel v9.5.exe", kExeName, false},
        MatchCase{L"kavrindel v9.5.exe", L"C:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe ", kExeName, false},
        MatchCase{L"kavrindel v9.5.exe", L"C:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.ex", kExeName, false},
        MatchCase{L"kavrindel v9.5.ex", kInstalledPath, kExeName, false},
        MatchCase{L"kavrindel v9.5.exe.", kInstalledPath, kExeName, false},
        MatchCase{L"", kInstalledPath, kExeName, false},
        // Only ASCII letters fold: a non-ASCII letter in another case is a different name.
        MatchCase{L"\u00c4rger.exe", kInstalledPath, L"\u00e4rger.exe", false},
        MatchCase{L"kavrindel v9.5.exe", kInstalledPath, nullptr, false}));

struct ExpectedPathCase {
    std::string installDir;
    std::wstring expected;
};

void PrintTo(const ExpectedPathCase& c, std::ostream* out) {
    *out << "installDir of " << c.installDir.size() << " bytes: " << c.installDir.substr(0, 40);
}

class ExpectedPath : public ::testing::TestWithParam<ExpectedPathCase> {};

TEST_P(ExpectedPath, FolderInUtf16ThenBackslashThenName) {
    EXPECT_EQ(kav::ExpectedExecutablePath(GetParam().installDir.c_str(), kExeName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExpectedPath,
    ::testing::Values(
        ExpectedPathCase{"D:\\Apps\\KAvrindel201805v9.5", L"D:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe"},
        // Narrow text is code page 936 whatever the system's code page is.
        ExpectedPathCase{"D:\\\xb0\xb2\xd7\xb0", L"D:\\\u5b89\u88c5\\kavrindel v9.5.exe"},
        // A trailing backslash doubles the separator, so no executable path can equal it.
        ExpectedPathCase{"D:\\Apps\\", L"D:\\Apps\\\\kavrindel v9.5.exe"},
        ExpectedPathCase{"", L"\\kavrindel v9.5.exe"},
        // 2045 units and the terminator fit; one more and the folder counts as empty.
        ExpectedPathCase{std::string(2045, 'a'), std::wstring(2045, L'a') + L"\\kavrindel v9.5.exe"},
        ExpectedPathCase{std::string(2046, 'a'), L"\\kavrindel v9.5.exe"},
        // The limit counts UTF-16 units, not bytes: 2045 two-byte characters still fit.
        ExpectedPathCase{[] {
                             std::string s;
                             for (int i = 0; i < 2045; ++i) s += "\xb0\xb2";
                             return s;
                         }(),
                         std::wstring(2045, L'\u5b89') + L"\\kavrindel v9.5.exe"}));

// ---- stopping the running instance, with real processes ----

struct StopCase {
    const wchar_t* folderName;
    const wchar_t* exeName;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << "folder " << Show(c.folderName) << ", exe " << Show(c.exeName); }

class StopsInstalledCopy : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopsInstalledCopy, TerminatesItAndPauses) {
    kavtest::TempFolder base("kavstop");
    ProductFolder installed(base, GetParam().folderName);
    ASSERT_TRUE(installed.Copied());
    RunningCopies copies;
    const DWORD pid = copies.Start(installed);
    ASSERT_NE(pid, 0u);
    InstallDirScope dir(installed.Narrow());

    const ULONGLONG elapsed = TimedTerminate(GetParam().exeName);

    EXPECT_FALSE(copies.IsRunning(pid));
    EXPECT_EQ(copies.ExitCode(pid), 0u);
    EXPECT_GE(elapsed, 2500u);
    EXPECT_LE(elapsed, 7600u);
}

INSTANTIATE_TEST_SUITE_P(Table, StopsInstalledCopy,
                         ::testing::Values(StopCase{L"KAvrindel201805v9.5", kExeName},
                                           StopCase{L"\u51ef\u6587\u4ea4\u6613201805v9.5", kExeName}));

enum class DirFor { OtherFolder, FolderInUpperCase, TrailingBackslash, SameFolder };

struct KeepCase {
    const char* name;
    DirFor installDir;
    const wchar_t* exeName;
};

class LeavesCopyRunning : public ::testing::TestWithParam<KeepCase> {};

TEST_P(LeavesCopyRunning, ReturnsAtOnce) {
    kavtest::TempFolder base("kavkeep");
    ProductFolder running(base, L"KAvrindel201805v9.5");
    ProductFolder other(base, L"Elsewhere");
    ASSERT_TRUE(running.Copied());
    RunningCopies copies;
    const DWORD pid = copies.Start(running);
    ASSERT_NE(pid, 0u);

    std::string dir;
    switch (GetParam().installDir) {
        case DirFor::OtherFolder: dir = other.Narrow(); break;
        case DirFor::FolderInUpperCase:
            dir = running.Narrow();
            std::transform(dir.begin(), dir.end(), dir.begin(), [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
            ASSERT_NE(dir, running.Narrow());
            break;
        case DirFor::TrailingBackslash: dir = running.Narrow() + "\\"; break;
        case DirFor::SameFolder: dir = running.Narrow(); break;
    }
    InstallDirScope scope(dir);

    const ULONGLONG elapsed = TimedTerminate(GetParam().exeName);

    EXPECT_TRUE(copies.IsRunning(pid));
    EXPECT_LT(elapsed, kAtOnceMs);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LeavesCopyRunning,
    ::testing::Values(KeepCase{"copy_in_another_folder", DirFor::OtherFolder, kExeName},
                      KeepCase{"folder_differs_in_case", DirFor::FolderInUpperCase, kExeName},
                      KeepCase{"folder_with_trailing_backslash", DirFor::TrailingBackslash, kExeName},
                      KeepCase{"other_image_name", DirFor::SameFolder, L"kavrindel v9.6.exe"},
                      KeepCase{"image_name_prefix", DirFor::SameFolder, L"kavrindel v9.5"},
                      // The image name alone would match, but the expected path carries the name as
                      // given and is compared exactly with the real executable path.
                      KeepCase{"exe_name_in_other_case", DirFor::SameFolder, L"KAVRINDEL V9.5.EXE"}),
    [](const ::testing::TestParamInfo<KeepCase>& info) { return std::string(info.param.name); });

TEST(TerminateRunningInstance, NothingRunningReturnsAtOnce) {
    kavtest::TempFolder base("kavnone");
    ProductFolder installed(base, L"KAvrindel201805v9.5");
    InstallDirScope dir(installed.Narrow());
    EXPECT_LT(TimedTerminate(kExeName), kAtOnceMs);
    EXPECT_EQ(TerminateRunningInstance(nullptr), 0);
}

TEST(TerminateRunningInstance, ProcessWhoseModulesCannotBeReadIsNoMatch) {
    kavtest::TempFolder base("kavsusp");
    ProductFolder installed(base, L"KAvrindel201805v9.5");
    ASSERT_TRUE(installed.Copied());
    RunningCopies copies;
    const DWORD pid = copies.StartSuspended(installed);
    ASSERT_NE(pid, 0u);
    // A process created suspended has no module list yet.
    HANDLE modules = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    MODULEENTRY32W module = {};
    module.dwSize = sizeof module;
    const bool readable = modules != INVALID_HANDLE_VALUE && ::Module32FirstW(modules, &module);
    if (modules != INVALID_HANDLE_VALUE) ::CloseHandle(modules);
    if (readable) GTEST_SKIP() << "this system lists the modules of a suspended process";
    InstallDirScope dir(installed.Narrow());

    EXPECT_LT(TimedTerminate(kExeName), kAtOnceMs);
    EXPECT_TRUE(copies.IsRunning(pid));
}

// The order in which a process snapshot lists the given processes.
std::vector<DWORD> SnapshotOrder(const std::vector<DWORD>& pids) {
    std::vector<DWORD> order;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (std::find(pids.begin(), pids.end(), entry.th32ProcessID) != pids.end()) order.push_back(entry.th32ProcessID);
    }
    ::CloseHandle(snapshot);
    return order;
}

TEST(TerminateRunningInstance, LooksPastACopyOfTheSameNameElsewhere) {
    kavtest::TempFolder base("kavpast");
    ProductFolder elsewhere(base, L"Elsewhere");
    ProductFolder installed(base, L"KAvrindel201805v9.5");
    RunningCopies copies;
    const DWORD elsewherePid = copies.Start(elsewhere);
    const DWORD installedPid = copies.Start(installed);
    ASSERT_NE(elsewherePid, 0u);
    ASSERT_NE(installedPid, 0u);
    // The walk must pass a copy of the same name before it reaches the installed one.
    ASSERT_EQ(SnapshotOrder({elsewherePid, installedPid}), (std::vector<DWORD>{elsewherePid, installedPid}));
    InstallDirScope dir(installed.Narrow());

    EXPECT_GE(TimedTerminate(kExeName), 2500u);

    EXPECT_FALSE(copies.IsRunning(installedPid));
    EXPECT_TRUE(copies.IsRunning(elsewherePid));
}

TEST(TerminateRunningInstance, OfTwoInstalledCopiesStopsOnlyTheFirstOfTheSnapshot) {
    kavtest::TempFolder base("kavtwo");
    ProductFolder installed(base, L"KAvrindel201805v9.5");
    RunningCopies copies;
    const DWORD one = copies.Start(installed);
    const DWORD two = copies.Start(installed);
    ASSERT_NE(one, 0u);
    ASSERT_NE(two, 0u);
    const std::vector<DWORD> order = SnapshotOrder({one, two});
    ASSERT_EQ(order.size(), 2u);
    InstallDirScope dir(installed.Narrow());

    EXPECT_GE(TimedTerminate(kExeName), 2500u);

    EXPECT_FALSE(copies.IsRunning(order[0]));
    EXPECT_TRUE(copies.IsRunning(order[1]));
}

// ---- starting the installed program ----

struct LaunchTextCase {
    std::string installDir;
    bool accepted;
    std::wstring commandLine;
};

void PrintTo(const LaunchTextCase& c, std::ostream* out) {
    *out << "installDir of " << c.installDir.size() << " bytes: " << c.installDir.substr(0, 40);
}

class LaunchTexts : public ::testing::TestWithParam<LaunchTextCase> {};

TEST_P(LaunchTexts, QuotedExecutableThenEndWithinTheLimit) {
    std::wstring commandLine = L"left over";
    std::wstring folder = L"left over";
    ASSERT_EQ(kav::LaunchTextsFor(GetParam().installDir, commandLine, folder), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(commandLine, GetParam().commandLine);
        EXPECT_EQ(folder, kav::WideFromNarrow(GetParam().installDir.c_str(), kav::kGbkCodePage, 65536));
    } else {
        EXPECT_EQ(commandLine, L"");
        EXPECT_EQ(folder, L"");
    }
}

std::string Repeat(const std::string& unit, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += unit;
    return s;
}

// The command line is the folder plus 25 units: two quotes, a backslash, the 18-unit name, " end".
INSTANTIATE_TEST_SUITE_P(
    Table, LaunchTexts,
    ::testing::Values(
        LaunchTextCase{"D:\\Apps\\KAvrindel201805v9.5", true,
                       L"\"D:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe\" end"},
        LaunchTextCase{"D:\\\xb0\xb2\xd7\xb0", true, L"\"D:\\\u5b89\u88c5\\kavrindel v9.5.exe\" end"},
        LaunchTextCase{"", false, L""},
        // 2047 units and the terminator are the most that fit.
        LaunchTextCase{std::string(2022, 'a'), true, L"\"" + std::wstring(2022, L'a') + L"\\kavrindel v9.5.exe\" end"},
        LaunchTextCase{std::string(2023, 'a'), false, L""},
        // Units count, not bytes: 2022 two-byte characters (4044 bytes) still fit.
        LaunchTextCase{Repeat("\xb0\xb2", 2022), true, L"\"" + std::wstring(2022, L'\u5b89') + L"\\kavrindel v9.5.exe\" end"},
        LaunchTextCase{Repeat("\xb0\xb2", 2023), false, L""}));

TEST(LaunchInstalledProgram, TooLongAFolderStartsNothing) {
    InstallDirScope dir("C:\\" + std::string(2100, 'a'));
    EXPECT_FALSE(LaunchInstalledProgram());
}

TEST(LaunchInstalledProgram, MissingProgramIsFalse) {
    kavtest::TempFolder base("kavmissing");
    InstallDirScope dir(base.Path());
    EXPECT_FALSE(LaunchInstalledProgram());
}

class LaunchesInstalledProgram : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(LaunchesInstalledProgram, WithEndInItsFolderAndTheInheritedPath) {
    kavtest::TempFolder base("kavlaunch");
    ProductFolder installed(base, GetParam());
    ASSERT_TRUE(installed.Copied());
    InstallDirScope dir(installed.Narrow());
    // A mark in this process's Path that the started program must inherit.
    const std::string savedPath = kavtest::Env("Path");
    const std::string markedPath = savedPath + ";C:\\kav-launch-mark";
    ::SetEnvironmentVariableA("Path", markedPath.c_str());

    const ULONGLONG start = ::GetTickCount64();
    const bool started = LaunchInstalledProgram();
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    ::SetEnvironmentVariableA("Path", savedPath.c_str());
    ASSERT_TRUE(started);

    auto record = WaitForRecord(installed.Record(), 0);
    RunningCopies copies;
    if (!record.empty()) copies.Adopt(static_cast<DWORD>(std::stoul(record["pid"])));
    ASSERT_FALSE(record.empty());
    EXPECT_LT(elapsed, kAtOnceMs);
    const std::string folder = Utf8(installed.Wide());
    EXPECT_EQ(record["commandline"], "\"" + folder + "\\kavrindel v9.5.exe\" end");
    EXPECT_EQ(record["currentdir"], folder);
    EXPECT_EQ(record["path"], markedPath);
    EXPECT_EQ(record["showwindow"], "1");  // SW_SHOWNORMAL
    EXPECT_TRUE(copies.IsRunning(static_cast<DWORD>(std::stoul(record["pid"]))));
}

INSTANTIATE_TEST_SUITE_P(Table, LaunchesInstalledProgram,
                         ::testing::Values(L"KAvrindel201805v9.5", L"\u51ef\u6587\u4ea4\u6613201805v9.5"));

}  // namespace
