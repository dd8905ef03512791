#include <gtest/gtest.h>
#include <windows.h>

#include "system/InteractiveUser.h"

namespace {

struct SwapCase {
    const char* path;
    const char* account;
    const char* expected;
};

class AccountSwap : public ::testing::TestWithParam<SwapCase> {};

TEST_P(AccountSwap, ReplacesTheThirdLevelFolder) {
    EXPECT_EQ(kav::SwapAccountFolder(GetParam().path, GetParam().account), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AccountSwap,
    ::testing::Values(
        SwapCase{"C:\\Users\\Admin\\AppData\\Local", "Alice", "C:\\Users\\Alice\\AppData\\Local"},
        SwapCase{"C:\\Users\\Alice\\AppData\\Local", "Alice", "C:\\Users\\Alice\\AppData\\Local"},
        SwapCase{"C:\\Users\\Admin", "Alice", "C:\\Users\\Admin"},   // two backslashes only
        SwapCase{"C:\\Local", "Alice", "C:\\Local"},
        SwapCase{"", "Alice", ""},
        SwapCase{"C:\\Users\\Admin\\", "Alice", "C:\\Users\\Alice\\"},
        SwapCase{"C:\\Users\\\\AppData", "Bob", "C:\\Users\\Bob\\AppData"},  // empty account folder
        // No account name found: the path stays as it is instead of losing its account folder.
        SwapCase{"C:\\Users\\Admin\\AppData\\Local", "", "C:\\Users\\Admin\\AppData\\Local"}));

std::string OwnAccount() {
    char name[260] = {};
    DWORD size = sizeof name;
    ::GetUserNameA(name, &size);
    return name;
}

TEST(InteractiveUser, ConsoleSessionUserIsTheLoggedOnUser) {
    // Under the test bench the console user is the account that runs the tests.
    EXPECT_EQ(kav::QueryConsoleUserName(), OwnAccount());
}

TEST(InteractiveUser, AccountOfAProcessComesFromItsToken) {
    EXPECT_EQ(kav::AccountNameOfProcess(::GetCurrentProcessId()), OwnAccount());
    EXPECT_EQ(kav::AccountNameOfProcess(0xFFFFFFF0u), "");
}

TEST(InteractiveUser, LocalAppDataOfTheConsoleUser) {
    std::string elevated;
    ASSERT_TRUE(kav::AppendShellFolderPath(kav::kCsidlLocalAppData, elevated));
    std::string out = "";
    GetInteractiveUserLocalAppData(out);
    // The same user sits at the console and runs the program: the path is unchanged.
    EXPECT_EQ(out, elevated);
    EXPECT_NE(out.find("\\" + OwnAccount() + "\\"), std::string::npos) << out;
}

TEST(InteractiveUser, AppendsToWhatIsThere) {
    std::string out = "X";
    GetCommonDesktopPath(out);
    ASSERT_GT(out.size(), 1u);
    EXPECT_EQ(out[0], 'X');
    EXPECT_NE(out.back(), '\\');
    std::string desktop;
    GetCommonDesktopPath(desktop);
    EXPECT_EQ("X" + desktop, out);
}

}  // namespace
