#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "system/Folders.h"

namespace {

// ---- names and prefixes from the time of day ----

SYSTEMTIME TimeOfDay(WORD hour, WORD minute, WORD second, WORD millisecond) {
    SYSTEMTIME time = {};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 31;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = millisecond;
    return time;
}

struct StampCase {
    SYSTEMTIME time;
    const char* fileName;
    const char* linePrefix;
};

class LogStamps : public ::testing::TestWithParam<StampCase> {};

TEST_P(LogStamps, ZeroPaddedTimeOfDay) {
    EXPECT_EQ(kav::LogFileNameFor(GetParam().time), GetParam().fileName);
    EXPECT_EQ(kav::LogLinePrefixFor(GetParam().time), GetParam().linePrefix);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogStamps,
    ::testing::Values(StampCase{TimeOfDay(23, 59, 59, 999), "235959999install.log", "[23:59:59 999]\t\t"},
                      StampCase{TimeOfDay(0, 0, 0, 5), "000000005install.log", "[00:00:00 005]\t\t"},
                      StampCase{TimeOfDay(0, 0, 0, 2), "000000002install.log", "[00:00:00 002]\t\t"},
                      StampCase{TimeOfDay(9, 30, 15, 42), "093015042install.log", "[09:30:15 042]\t\t"},
                      StampCase{TimeOfDay(12, 0, 7, 100), "120007100install.log", "[12:00:07 100]\t\t"}));

// ---- the log file ----

constexpr size_t kPrefixBytes = 16;  // "[hh:mm:ss mmm]\t\t"

bool Digits(const std::string& s, size_t at, size_t count, int below) {
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char ch = s[at + i];
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + (ch - '0');
    }
    return value < below;
}

// Whether a timestamp prefix starts at the position.
bool PrefixAt(const std::string& s, size_t at) {
    if (at + kPrefixBytes > s.size()) return false;
    return s[at] == '[' && Digits(s, at + 1, 2, 24) && s[at + 3] == ':' && Digits(s, at + 4, 2, 60) &&
           s[at + 6] == ':' && Digits(s, at + 7, 2, 60) && s[at + 9] == ' ' && Digits(s, at + 10, 3, 1000) &&
           s.compare(at + 13, 3, "]\t\t") == 0;
}

// Every entry of a folder but "." and "..".
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return names;
}

bool IsLogName(const std::string& name) {
    return name.size() == 20 && Digits(name, 0, 2, 24) && Digits(name, 2, 2, 60) && Digits(name, 4, 2, 60) &&
           Digits(name, 6, 3, 1000) && name.compare(9, 11, "install.log") == 0;
}

// Points logDir at a folder for one test, records folder notices instead of showing them and
// leaves the log closed whatever happens.
class InstallLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedLogDir_ = GetInstallSettings().logDir;
        savedNotice_ = kav::SetFolderNoticeHandler(&RecordNotice);
        notices_ = 0;
    }
    void TearDown() override {
        CloseInstallLog();
        kav::SetFolderNoticeHandler(savedNotice_);
        GetInstallSettings().logDir = savedLogDir_;
    }

    // The one log file in logDir, or "" when there is not exactly one.
    static std::string TheLogFile() {
        const std::vector<std::string> names = Entries(GetInstallSettings().logDir);
        if (names.size() != 1 || !IsLogName(names[0])) return {};
        return GetInstallSettings().logDir + "\\" + names[0];
    }

    static void RecordNotice(const char*, const char*) { ++notices_; }
    static inline int notices_ = 0;

    kavtest::TempFolder base_{"kavlog"};

private:
    std::string savedLogDir_;
    kav::FolderNoticeHandler savedNotice_ = nullptr;
};

// Checks that bytes are exactly one timestamped line per text, in order; says what differs.
::testing::AssertionResult LinesAre(const std::string& bytes, const std::vector<std::string>& texts) {
    size_t at = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!PrefixAt(bytes, at)) return ::testing::AssertionFailure() << "no timestamp at line " << i;
        at += kPrefixBytes;
        const std::string expected = texts[i] + "\r\n";
        if (bytes.compare(at, expected.size(), expected) != 0) {
            return ::testing::AssertionFailure() << "line " << i << " differs: " << bytes.substr(at, 80);
        }
        at += expected.size();
    }
    if (at != bytes.size()) return ::testing::AssertionFailure() << bytes.size() - at << " bytes after the last line";
    return ::testing::AssertionSuccess();
}

TEST_F(InstallLogTest, WholeLogReadsBackByteForByte) {
    // Folders that do not exist yet, one of them with a code page 936 name.
    GetInstallSettings().logDir = base_ / "\xc8\xd5\xd6\xbe\\deeper\\kavrindellog";
    OpenInstallLog();
    const std::string longText(100000, 'L');
    WriteLogLine("下载 base.zip 失败\t错误码: 404");
    WriteLogLine("two\nphysical lines");
    WriteLogLine("");
    WriteLogLine(nullptr);  // no line at all
    WriteLogLine(longText.c_str());
    CloseInstallLog();

    const std::string file = TheLogFile();
    ASSERT_NE(file, "") << "one log file named hhmmssmmminstall.log";
    const std::string bytes = kavtest::ReadFileBytes(file);
    EXPECT_TRUE(LinesAre(bytes, {"Version: IE_9.5.9.1", "用户点击安装，安装开始...",
                                 "下载 base.zip 失败\t错误码: 404", "two\nphysical lines", "", longText}));
    // The second line in code page 936, exactly.
    const std::string start = "\xd3\xc3\xbb\xa7\xb5\xe3\xbb\xf7\xb0\xb2\xd7\xb0\xa3\xac\xb0\xb2\xd7\xb0\xbf\xaa\xca\xbc...\r\n";
    EXPECT_EQ(bytes.compare(kPrefixBytes + 21 + kPrefixBytes, start.size(), start), 0);
    EXPECT_EQ(notices_, 0);
}

TEST_F(InstallLogTest, EveryLineIsOnDiskBeforeTheWriteReturns) {
    GetInstallSettings().logDir = base_ / "logs";
    OpenInstallLog();
    WriteLogLine("step 2 started");
    // Read through another handle while the log is still open.
    const std::string file = TheLogFile();
    ASSERT_NE(file, "");
    EXPECT_TRUE(LinesAre(kavtest::ReadFileBytes(file), {kav::kLogVersionLine, kav::kLogStartLine, "step 2 started"}));
}

TEST_F(InstallLogTest, AnotherOpenStartsAFreshFile) {
    GetInstallSettings().logDir = base_ / "logs";
    OpenInstallLog();
    WriteLogLine("first run");
    CloseInstallLog();
    const std::string first = TheLogFile();
    ASSERT_NE(first, "");
    ::DeleteFileA(first.c_str());
    OpenInstallLog();
    CloseInstallLog();
    const std::string second = TheLogFile();
    ASSERT_NE(second, "");
    EXPECT_TRUE(LinesAre(kavtest::ReadFileBytes(second), {kav::kLogVersionLine, kav::kLogStartLine}));
}

// While its folder is removed or moved, the log waits closed: its lines keep their order and
// time and reach the file where it is reopened.
TEST_F(InstallLogTest, SetAsideLogGoesOnWhereItIsResumed) {
    GetInstallSettings().logDir = base_ / "logs";
    OpenInstallLog();
    WriteLogLine("before");
    const std::string file = SetInstallLogAside();
    ASSERT_EQ(file, TheLogFile());
    WriteLogLine("while aside");
    // Closed: the file can be moved, and its folder removed.
    const std::string moved = base_ / "moved.log";
    ASSERT_TRUE(::MoveFileA(file.c_str(), moved.c_str()));
    ASSERT_TRUE(::RemoveDirectoryA(GetInstallSettings().logDir.c_str()));
    ResumeInstallLog(moved);
    WriteLogLine("after");
    CloseInstallLog();
    EXPECT_TRUE(LinesAre(kavtest::ReadFileBytes(moved),
                         {kav::kLogVersionLine, kav::kLogStartLine, "before", "while aside", "after"}));
}

TEST_F(InstallLogTest, SettingAsideWithoutALogDoesNothing) {
    EXPECT_EQ(SetInstallLogAside(), "");
    WriteLogLine("dropped");
    ResumeInstallLog(base_ / "never.log");
    WriteLogLine("dropped too");
    EXPECT_FALSE(kavtest::PathExists(base_ / "never.log"));

    // Closing an aside log forgets its waiting lines; a later resume opens nothing.
    GetInstallSettings().logDir = base_ / "logs";
    OpenInstallLog();
    const std::string file = SetInstallLogAside();
    WriteLogLine("forgotten");
    CloseInstallLog();
    ResumeInstallLog(file);
    WriteLogLine("dropped as well");
    EXPECT_TRUE(LinesAre(kavtest::ReadFileBytes(file), {kav::kLogVersionLine, kav::kLogStartLine}));
}

TEST_F(InstallLogTest, LogThatCannotBeOpenedDropsEveryLine) {
    // The log folder would lie beneath a file, so neither the folder nor the file can be made.
    kavtest::WriteFileBytes(base_ / "plain.txt", "x");
    GetInstallSettings().logDir = base_ / "plain.txt\\kavrindellog";
    OpenInstallLog();
    WriteLogLine("dropped");
    CloseInstallLog();
    WriteLogLine("dropped too");

    EXPECT_EQ(notices_, 1) << "the folder's failure is told by its own notice only";
    EXPECT_EQ(Entries(base_.Path()), std::vector<std::string>{"plain.txt"});
    EXPECT_EQ(kavtest::ReadFileBytes(base_ / "plain.txt"), "x");
}

TEST_F(InstallLogTest, NothingIsWrittenAfterClosing) {
    GetInstallSettings().logDir = base_ / "logs";
    WriteLogLine("before any log");  // no log yet: nothing happens
    CloseInstallLog();               // harmless with no log
    OpenInstallLog();
    WriteLogLine("while open");
    CloseInstallLog();
    WriteLogLine("after close");
    CloseInstallLog();
    CloseInstallLog();

    const std::string file = TheLogFile();
    ASSERT_NE(file, "");
    EXPECT_TRUE(LinesAre(kavtest::ReadFileBytes(file), {kav::kLogVersionLine, kav::kLogStartLine, "while open"}));
}

std::string ThreadLine(int thread, int index) {
    // Lengths from a few bytes to several kilobytes, so writes of different sizes interleave.
    return "thread " + std::to_string(thread) + " line " + std::to_string(index) + " " +
           std::string(static_cast<size_t>((index * 37) % 5000), static_cast<char>('a' + thread));
}

TEST_F(InstallLogTest, TwoWritersNeverSplitALine) {
    constexpr int kLinesPerThread = 2000;
    GetInstallSettings().logDir = base_ / "logs";
    OpenInstallLog();
    std::vector<std::thread> writers;
    for (int t = 0; t < 2; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLinesPerThread; ++i) WriteLogLine(ThreadLine(t, i).c_str());
        });
    }
    for (std::thread& writer : writers) writer.join();
    CloseInstallLog();

    const std::string bytes = kavtest::ReadFileBytes(TheLogFile());
    // Every line whole, each writer's lines in its own order.
    int next[2] = {0, 0};
    size_t at = 0;
    int lines = 0;
    while (at < bytes.size()) {
        ASSERT_TRUE(PrefixAt(bytes, at)) << "line " << lines;
        const size_t end = bytes.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string text = bytes.substr(at + kPrefixBytes, end - at - kPrefixBytes);
        if (lines >= 2) {
            const int t = text.rfind("thread 1 ", 0) == 0 ? 1 : 0;
            ASSERT_LT(next[t], kLinesPerThread);
            ASSERT_EQ(text, ThreadLine(t, next[t])) << "line " << lines;
            ++next[t];
        }
        at = end + 2;
        ++lines;
    }
    EXPECT_EQ(next[0], kLinesPerThread);
    EXPECT_EQ(next[1], kLinesPerThread);
}

TEST_F(InstallLogTest, ClosingWhileAWorkerWritesNeverCutsALine) {
    GetInstallSettings().logDir = base_ / "logs";
    OpenInstallLog();
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    const std::string big(256 * 1024, 'w');
    std::thread worker([&] {
        while (!stop.load()) {
            WriteLogLine(big.c_str());
            written.fetch_add(1);
        }
    });
    while (written.load() < 3) ::Sleep(1);
    CloseInstallLog();
    // The worker goes on writing into a closed log for a while.
    ::Sleep(50);
    stop.store(true);
    worker.join();

    const std::string bytes = kavtest::ReadFileBytes(TheLogFile());
    const size_t lines = (bytes.size() - (2 * kPrefixBytes + 21 + 27)) / (kPrefixBytes + big.size() + 2);
    ASSERT_GE(lines, 3u);
    std::vector<std::string> expected = {kav::kLogVersionLine, kav::kLogStartLine};
    expected.insert(expected.end(), lines, big);
    EXPECT_TRUE(LinesAre(bytes, expected));
}

}  // namespace
