#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "app/SearchPath.h"

namespace {

struct SearchPathCase {
    const char* name;
    std::wstring path;
    std::optional<std::string> systemRoot;
    std::optional<std::wstring> expected;
};

class SearchPathRule : public ::testing::TestWithParam<SearchPathCase> {};

TEST_P(SearchPathRule, AppendsTheSystemFolder) {
    const SearchPathCase& c = GetParam();
    const std::optional<std::wstring> result =
        kav::SearchPathWithSystemFolder(c.path, c.systemRoot ? c.systemRoot->c_str() : nullptr);
    ASSERT_EQ(result.has_value(), c.expected.has_value());
    if (result) {
        EXPECT_EQ(*result, *c.expected);
    }
}

// A SystemRoot of `count` fillers after "C:\".
std::string LongRoot(size_t count, const char* filler) {
    std::string root = "C:\\";
    for (size_t i = 0; i < count; ++i) root += filler;
    return root;
}

// "\system32;" is 10 units, so a root of 1013 units fills the 1024-unit buffer with its terminator.
const std::string kRoot1013 = LongRoot(1010, "w");
const std::string kRoot1014 = LongRoot(1011, "w");
// 600 GBK characters are 1200 bytes but 600 UTF-16 units: the limit counts units.
const std::string kRootGbk = LongRoot(600, "视");

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
std::wstring WideGbkRoot() {
    std::wstring root = L"C:\\";
    root.append(600, L'视');
    return root;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchPathRule,
    ::testing::Values(
        SearchPathCase{"TwoEntries", L"A;B", "C:\\Windows", L"A;B;C:\\Windows\\system32;"},
        SearchPathCase{"TrailingSeparator", L"A;B;", "C:\\Windows", L"A;B;C:\\Windows\\system32;"},
        SearchPathCase{"Empty", L"", "C:\\Windows", L"C:\\Windows\\system32;"},
        SearchPathCase{"OneEntry", L"A", "C:\\Windows", L"A;C:\\Windows\\system32;"},
        SearchPathCase{"OnlySeparator", L";", "C:\\Windows", L";C:\\Windows\\system32;"},
        SearchPathCase{"SeparatorInside", L"A;B;C", "D:\\WINNT", L"A;B;C;D:\\WINNT\\system32;"},
        SearchPathCase{"SystemRootUnset", L"A;B", std::nullopt, std::nullopt},
        SearchPathCase{"SystemRootUnsetEmptyPath", L"", std::nullopt, std::nullopt},
        SearchPathCase{"EmptySystemRoot", L"A", "", L"A;\\system32;"},
        SearchPathCase{"ChineseSystemRoot", L"A", "C:\\视窗", L"A;C:\\视窗\\system32;"},
        SearchPathCase{"RootFillsTheBuffer", L"A;B", kRoot1013, L"A;B;" + Widen(kRoot1013) + L"\\system32;"},
        SearchPathCase{"RootOneUnitTooLong", L"A;B", kRoot1014, L"A;B;"},
        SearchPathCase{"LongGbkRootCountsUnits", L"A", kRootGbk, L"A;" + WideGbkRoot() + L"\\system32;"}),
    [](const ::testing::TestParamInfo<SearchPathCase>& info) { return std::string(info.param.name); });

TEST(SearchPathRule, TheFixturesHaveTheirLengths) {
    EXPECT_EQ(kRoot1013.size(), 1013u);
    EXPECT_EQ(kRoot1014.size(), 1014u);
    EXPECT_EQ(kRootGbk.size(), 3u + 1200u);
}

// The real environment: Path is read and written through the process, SystemRoot through the C
// runtime's copy of it. Both are put back afterwards.
class ProcessSearchPath : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = ReadPath();
        savedSystemRoot_ = kavtest::Env("SystemRoot");
        ASSERT_FALSE(savedSystemRoot_.empty());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"Path", savedPath_.c_str());
        _putenv_s("SystemRoot", savedSystemRoot_.c_str());
    }
    static std::wstring ReadPath() {
        wchar_t buffer[32768] = {};
        const DWORD n = ::GetEnvironmentVariableW(L"PATH", buffer, 32768);
        return std::wstring(buffer, n < 32768 ? n : 0);
    }
    std::wstring savedPath_;
    std::string savedSystemRoot_;
};

TEST_F(ProcessSearchPath, AppendsTheSystemFolderOfTheRuntimesSystemRoot) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Path", L"Z:\\kav one;Z:\\kav two"));
    ASSERT_EQ(_putenv_s("SystemRoot", "C:\\KavWin"), 0);
    kav::AppendSystemFolderToSearchPath();
    EXPECT_EQ(ReadPath(), L"Z:\\kav one;Z:\\kav two;C:\\KavWin\\system32;");
}

TEST_F(ProcessSearchPath, LeavesThePathAloneWithoutSystemRoot) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Path", L"Z:\\kav one;Z:\\kav two"));
    ASSERT_EQ(_putenv_s("SystemRoot", ""), 0);  // removes it from the runtime's environment
    kav::AppendSystemFolderToSearchPath();
    EXPECT_EQ(ReadPath(), L"Z:\\kav one;Z:\\kav two");
}

TEST_F(ProcessSearchPath, AnUnsetPathBecomesTheSystemFolder) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Path", nullptr));
    ASSERT_EQ(_putenv_s("SystemRoot", "C:\\KavWin"), 0);
    kav::AppendSystemFolderToSearchPath();
    EXPECT_EQ(ReadPath(), L"C:\\KavWin\\system32;");
}

}  // namespace
