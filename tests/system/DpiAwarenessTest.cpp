#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "app/InstallSettings.h"
#include "system/DpiAwareness.h"
#include "system/Handles.h"

namespace {

std::string ReadAwareDpi(const std::string& file) {
    char value[32] = {};
    ::GetPrivateProfileStringA("kavrindel", "awaredpi", "<absent>", value, sizeof value, file.c_str());
    return value;
}

std::string PriFile(const kavtest::TempFolder& installDir) { return installDir / "config\\kavrindel.Default.pri"; }

struct FlagCase {
    UINT dpi;
    int flag;
};

class HighDpiFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(HighDpiFlag, IsSetForWholeMultiplesOf96FromTwiceUp) {
    EXPECT_EQ(kav::HighDpiFlagFor(GetParam().dpi), GetParam().flag) << GetParam().dpi;
}

INSTANTIATE_TEST_SUITE_P(Dpi, HighDpiFlag,
                         ::testing::Values(FlagCase{96, 0}, FlagCase{120, 0}, FlagCase{144, 0}, FlagCase{168, 0},
                                           FlagCase{240, 0}, FlagCase{191, 0}, FlagCase{193, 0}, FlagCase{192, 1},
                                           FlagCase{288, 1}, FlagCase{384, 1}, FlagCase{0, 0}, FlagCase{48, 0}));

TEST(DpiConfigFile, UsesForwardSlashesAfterTheInstallFolder) {
    EXPECT_EQ(kav::DpiConfigFilePath("C:\\Users\\u\\AppData\\Local\\KAvrindel201805v9.5"),
              "C:\\Users\\u\\AppData\\Local\\KAvrindel201805v9.5/config/kavrindel.Default.pri");
    // 2047 bytes with the terminator still fit; one more would be a cut path.
    const std::string suffix = "/config/kavrindel.Default.pri";
    const std::string longest(2047 - suffix.size(), 'a');
    EXPECT_EQ(kav::DpiConfigFilePath(longest), longest + suffix);
    EXPECT_EQ(kav::DpiConfigFilePath(longest + "a"), "");
}

// Stand-ins for the SHCore functions, so that the rule around them can be driven with any DPI.
int g_awarenessAsked = -1;
UINT g_reportedDpi = 96;
bool g_queryFails = false;
HMONITOR g_queriedMonitor = nullptr;

HRESULT WINAPI FakeSetAwareness(int awareness) {
    g_awarenessAsked = awareness;
    return S_OK;
}

HRESULT WINAPI FakeGetDpi(HMONITOR monitor, int type, UINT* x, UINT* y) {
    g_queriedMonitor = monitor;
    if (g_queryFails || type != 0) return E_INVALIDARG;
    *x = g_reportedDpi;
    *y = 96;  // only the horizontal value counts
    return S_OK;
}

class RecordDpi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CreateDirectoryA((install / "config").c_str(), nullptr));
        g_awarenessAsked = -1;
        g_reportedDpi = 96;
        g_queryFails = false;
        g_queriedMonitor = nullptr;
    }
    kavtest::TempFolder install{"kavdpi"};
};

TEST_F(RecordDpi, FollowsTheDesktopDisplaysHorizontalDpi) {
    for (const FlagCase c : {FlagCase{192, 1}, FlagCase{144, 0}, FlagCase{288, 1}, FlagCase{96, 0}}) {
        g_reportedDpi = c.dpi;
        EXPECT_NE(kav::RecordDpiAwareness({FakeSetAwareness, FakeGetDpi}, install.Path()), 0);
        EXPECT_EQ(ReadAwareDpi(PriFile(install)), std::to_string(c.flag)) << c.dpi;
    }
    EXPECT_EQ(g_awarenessAsked, 2);
    EXPECT_EQ(g_queriedMonitor, ::MonitorFromWindow(::GetDesktopWindow(), MONITOR_DEFAULTTONEAREST));
}

TEST_F(RecordDpi, AFailedQueryKeepsThePreset96) {
    g_queryFails = true;
    EXPECT_NE(kav::RecordDpiAwareness({FakeSetAwareness, FakeGetDpi}, install.Path()), 0);
    EXPECT_EQ(ReadAwareDpi(PriFile(install)), "0");
}

TEST_F(RecordDpi, AMissingFunctionWritesZeroWithoutAsking) {
    g_reportedDpi = 192;
    const kav::DpiFunctions partial[] = {{nullptr, FakeGetDpi}, {FakeSetAwareness, nullptr}, {nullptr, nullptr}};
    for (const kav::DpiFunctions& functions : partial) {
        kavtest::WriteFileBytes(PriFile(install), "[kavrindel]\r\nawaredpi=1\r\n");
        EXPECT_NE(kav::RecordDpiAwareness(functions, install.Path()), 0);
        EXPECT_EQ(ReadAwareDpi(PriFile(install)), "0");
    }
    EXPECT_EQ(g_awarenessAsked, -1);
    EXPECT_EQ(g_queriedMonitor, nullptr);
}

TEST_F(RecordDpi, KeepsTheFilesOtherKeys) {
    kavtest::WriteFileBytes(PriFile(install), "[kavrindel]\r\nlanguage=1033\r\nawaredpi=0\r\n[other]\r\nx=y\r\n");
    g_reportedDpi = 192;
    EXPECT_NE(kav::RecordDpiAwareness({FakeSetAwareness, FakeGetDpi}, install.Path()), 0);
    EXPECT_EQ(ReadAwareDpi(PriFile(install)), "1");
    char value[32] = {};
    ::GetPrivateProfileStringA("kavrindel", "language", "", value, sizeof value, PriFile(install).c_str());
    EXPECT_STREQ(value, "1033");
    ::GetPrivateProfileStringA("other", "x", "", value, sizeof value, PriFile(install).c_str());
    EXPECT_STREQ(value, "y");
}

// --- The real operation, with Wine's display DPI set through the user's LogPixels value. ---

constexpr char kChildArgument[] = "--kav-dpi-child=";

// The child process: a fresh process reads the display DPI when it starts, so each LogPixels value
// is tried in a process of its own. It records the operation's result as its exit code.
const bool g_dpiChild = [] {
    const std::string commandLine = ::GetCommandLineA();
    const size_t at = commandLine.find(kChildArgument);
    if (at == std::string::npos) return false;
    std::string installDir = commandLine.substr(at + sizeof kChildArgument - 1);
    if (!installDir.empty() && installDir.back() == '"') installDir.pop_back();
    GetInstallSettings().installDir = installDir;
    ::ExitProcess(WriteDpiAwareness() != 0 ? 0 : 1);
}();

int RunDpiChild(const std::string& installDir) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = std::string("\"") + self + "\" \"" + kChildArgument + installDir + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    kav::UniqueHandle processHandle(process.hProcess);
    kav::UniqueHandle threadHandle(process.hThread);
    if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) return -2;
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    return static_cast<int>(exitCode);
}

// Sets HKCU\Control Panel\Desktop LogPixels for the test and puts the old value back afterwards.
class LogPixelsSetting {
public:
    LogPixelsSetting() {
        ::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          key_.Put(), nullptr);
        DWORD size = sizeof old_;
        DWORD type = 0;
        hadValue_ = ::RegQueryValueExA(key_.Get(), kValue, nullptr, &type, reinterpret_cast<BYTE*>(&old_), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_DWORD;
    }
    ~LogPixelsSetting() {
        if (hadValue_) {
            Set(old_);
        } else {
            ::RegDeleteValueA(key_.Get(), kValue);
        }
    }
    bool Set(DWORD dpi) {
        return ::RegSetValueExA(key_.Get(), kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
               ERROR_SUCCESS;
    }
    bool IsOpen() const { return key_.IsValid(); }

private:
    static constexpr char kValue[] = "LogPixels";
    kav::UniqueRegKey key_;
    DWORD old_ = 0;
    bool hadValue_ = false;
};

TEST(WriteDpiAwareness, RecordsTheDisplayDpiOfTheSystem) {
    kavtest::TempFolder install("kavdpi");
    ASSERT_TRUE(::CreateDirectoryA((install / "config").c_str(), nullptr));
    LogPixelsSetting logPixels;
    ASSERT_TRUE(logPixels.IsOpen());
    for (const FlagCase c : {FlagCase{96, 0}, FlagCase{144, 0}, FlagCase{192, 1}}) {
        ASSERT_TRUE(logPixels.Set(c.dpi));
        EXPECT_EQ(RunDpiChild(install.Path()), 0) << c.dpi;
        EXPECT_EQ(ReadAwareDpi(PriFile(install)), std::to_string(c.flag)) << c.dpi;
    }
}

TEST(WriteDpiAwareness, AMissingConfigFolderGivesZeroAndNoFile) {
    kavtest::TempFolder install("kavdpi");
    EXPECT_EQ(RunDpiChild(install.Path()), 1);
    EXPECT_FALSE(kavtest::PathExists(install / "config"));
}

}  // namespace
