#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "RegistrationSupport.h"
#include "app/InstallSettings.h"
#include "system/InteractiveUser.h"
#include "system/ProductPaths.h"
#include "system/RegistryRoots.h"
#include "system/TextCodec.h"
#include "system/UninstallEntry.h"

namespace {

constexpr char kEntryPath[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kavrindel_201805v9.5";
constexpr char kTestRootPath[] = "Software\\KavrindelTestUninstallRoot";

std::wstring CommonDesktop() {
    std::string desktop;
    GetCommonDesktopPath(desktop);
    return kav::WideFromNarrow(desktop.c_str(), CP_ACP, 1024);
}

// The settings of one install, restored afterwards; the entry is removed before and after.
class UninstallEntry : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = GetInstallSettings();
        InstallSettings& settings = GetInstallSettings();
        settings.packageCode = "201805";
        settings.productTitle = "Qerlix Trading System";
        settings.installDir = "D:\\Apps\\KAvrindel201805v9.5";
        settings.installedVersion = "9.5.12.3";
        kavtest::DeleteTree(HKEY_LOCAL_MACHINE, kEntryPath);
        kavtest::DeleteTree(HKEY_CURRENT_USER, kTestRootPath);
    }
    void TearDown() override {
        kavtest::DeleteTree(HKEY_LOCAL_MACHINE, kEntryPath);
        kavtest::DeleteTree(HKEY_CURRENT_USER, kTestRootPath);
        GetInstallSettings() = saved_;
    }

private:
    InstallSettings saved_;
};

struct RootCase {
    std::optional<WORD> architecture;
    const char* expected;
};

class UninstallRoot : public ::testing::TestWithParam<RootCase> {};

TEST_P(UninstallRoot, FollowsTheNativeArchitecture) {
    EXPECT_STREQ(kav::UninstallRootFor(GetParam().architecture), GetParam().expected);
}

constexpr char kWow[] = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kNative[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

INSTANTIATE_TEST_SUITE_P(Table, UninstallRoot,
                         ::testing::Values(RootCase{WORD{9}, kWow},        // x64
                                           RootCase{WORD{6}, kWow},        // Itanium
                                           RootCase{WORD{0}, kNative},     // x86
                                           RootCase{WORD{5}, kNative},     // ARM
                                           RootCase{WORD{12}, kNative},    // ARM64
                                           RootCase{WORD{0xFFFF}, kNative},  // unknown
                                           RootCase{std::nullopt, kNative}));  // no GetNativeSystemInfo

TEST(NativeArchitecture, IsReportedByKernel32) {
    // The test bench is 64-bit Windows (Wine's x64 prefix).
    EXPECT_EQ(kav::NativeProcessorArchitecture(), std::optional<WORD>(9));
}

TEST(UninstallValues, TheSixValuesInTheirOrder) {
    InstallSettings settings;
    settings.productTitle = "Qerlix Trading System";
    settings.installDir = "D:\\Apps\\KAvrindel201805v9.5";
    settings.installedVersion = "9.5.12.3";
    const auto values = kav::UninstallValuesFor(settings, "C:\\Desk\\Qerlix Trading Systemv9.5.lnk");
    struct Expected {
        const char* name;
        kav::ValueCall call;
        const char* text;
    };
    const Expected expected[] = {
        {"DisplayName", kav::ValueCall::Wide, "Qerlix Trading Systemv9.5"},
        {"UninstallString", kav::ValueCall::Narrow, "D:\\Apps\\KAvrindel201805v9.5\\uninstall.exe"},
        {"DisplayIcon", kav::ValueCall::Narrow, "D:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe"},
        {"DisplayVersion", kav::ValueCall::Narrow, "9.5.12.3"},
        {"Publisher", kav::ValueCall::Wide, "Ondrix Information"},
        {"Shortcut", kav::ValueCall::Wide, "C:\\Desk\\Qerlix Trading Systemv9.5.lnk"},
    };
    ASSERT_EQ(values.size(), std::size(expected));
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_STREQ(values[i].name, expected[i].name) << i;
        EXPECT_EQ(values[i].call, expected[i].call) << expected[i].name;
        EXPECT_EQ(values[i].text, expected[i].text) << expected[i].name;
    }
}

TEST(UninstallValues, LongTextsAreCutAtTheBufferNotBeyondIt) {
    InstallSettings settings;
    settings.installDir = "D:\\" + std::string(1100, 'a');
    settings.installedVersion = std::string(1500, '9');
    const auto values = kav::UninstallValuesFor(settings, "C:\\" + std::string(2000, 'b'));
    EXPECT_EQ(values[1].text, settings.installDir.substr(0, 1023));
    EXPECT_EQ(values[2].text, settings.installDir.substr(0, 1023));
    EXPECT_EQ(values[3].text, std::string(1023, '9'));
    EXPECT_EQ(values[5].text, ("C:\\" + std::string(2000, 'b')).substr(0, 1023));
}

TEST_F(UninstallEntry, WritesTheSixValuesUnderTheWow64UninstallKey) {
    ASSERT_EQ(RegisterUninstallEntry(), 0);

    const std::wstring shortcut = CommonDesktop() + L"\\Qerlix Trading Systemv9.5.lnk";
    struct Expected {
        const wchar_t* name;
        std::wstring text;
    };
    const Expected expected[] = {
        {L"DisplayName", L"Qerlix Trading Systemv9.5"},
        {L"UninstallString", L"D:\\Apps\\KAvrindel201805v9.5\\uninstall.exe"},
        {L"DisplayIcon", L"D:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe"},
        {L"DisplayVersion", L"9.5.12.3"},
        {L"Publisher", L"Ondrix Information"},
        {L"Shortcut", shortcut},
    };
    for (const Expected& e : expected) {
        const kavtest::StoredValue value = kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, e.name);
        ASSERT_TRUE(value.found) << e.name;
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << e.name;
        EXPECT_EQ(value.text, e.text) << e.name;
        // The terminator is part of the stored data.
        EXPECT_EQ(value.bytes, (e.text.size() + 1) * sizeof(wchar_t)) << e.name;
    }
    EXPECT_EQ(kavtest::ValueCount(HKEY_LOCAL_MACHINE, kEntryPath), 6u);
    EXPECT_EQ(kavtest::SubkeyCount(HKEY_LOCAL_MACHINE, kEntryPath), 0u);
    // The narrow values read back through the narrow call as they were formatted.
    EXPECT_EQ(kavtest::ReadNarrowValue(HKEY_LOCAL_MACHINE, kEntryPath, "UninstallString"),
              "D:\\Apps\\KAvrindel201805v9.5\\uninstall.exe");
    // The 64-bit view's Uninstall key gets nothing.
    EXPECT_FALSE(kavtest::KeyExists(HKEY_LOCAL_MACHINE,
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kavrindel_201805v9.5"));
}

TEST_F(UninstallEntry, ShortcutValueIsTheShortcutPath) {
    ASSERT_EQ(RegisterUninstallEntry(), 0);
    const std::wstring expected = kav::WideFromNarrow(kav::DesktopShortcutPath().c_str(), kav::kGbkCodePage, 1024);
    EXPECT_EQ(kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"Shortcut").text, expected);
}

TEST_F(UninstallEntry, ARepeatedInstallOverwritesItsOwnValuesOnly) {
    // An entry of an earlier install, with a value that this installer does not write.
    HKEY old = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_LOCAL_MACHINE, kEntryPath, &old), ERROR_SUCCESS);
    const char stale[] = "9.5.1.0";
    ::RegSetValueExA(old, "DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(stale), sizeof stale);
    const char location[] = "E:\\Old";
    ::RegSetValueExA(old, "InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(location), sizeof location);
    ::RegCloseKey(old);

    ASSERT_EQ(RegisterUninstallEntry(), 0);
    const auto first = kavtest::SnapshotTree(HKEY_LOCAL_MACHINE, kEntryPath);
    ASSERT_EQ(RegisterUninstallEntry(), 0);
    EXPECT_EQ(kavtest::SnapshotTree(HKEY_LOCAL_MACHINE, kEntryPath), first);

    EXPECT_EQ(kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"DisplayVersion").text, L"9.5.12.3");
    EXPECT_EQ(kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"InstallLocation").text, L"E:\\Old");
    EXPECT_EQ(kavtest::ValueCount(HKEY_LOCAL_MACHINE, kEntryPath), 7u);
}

TEST_F(UninstallEntry, NothingIsWrittenWhenTheRootCannotBeOpened) {
    const kav::RegistryRootOverride closed(kav::RegistryRoot::LocalMachine, kavtest::ClosedKeyHandle());
    EXPECT_EQ(RegisterUninstallEntry(), -1);
    EXPECT_FALSE(kavtest::KeyExists(HKEY_LOCAL_MACHINE, kEntryPath));
}

TEST_F(UninstallEntry, AMissingUninstallKeyIsNotCreated) {
    // A machine root without the Uninstall key: the entry needs the system's key and does not make one.
    HKEY root = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kTestRootPath, &root), ERROR_SUCCESS);
    {
        const kav::RegistryRootOverride replaced(kav::RegistryRoot::LocalMachine, root);
        EXPECT_EQ(RegisterUninstallEntry(), -1);
    }
    EXPECT_EQ(kavtest::SubkeyCount(root, ""), 0u);
    EXPECT_EQ(kavtest::ValueCount(root, ""), 0u);
    ::RegCloseKey(root);
    EXPECT_FALSE(kavtest::KeyExists(HKEY_LOCAL_MACHINE, kEntryPath));
}

TEST_F(UninstallEntry, TheEntryGoesBelowTheRootItIsGiven) {
    HKEY root = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kTestRootPath, &root), ERROR_SUCCESS);
    HKEY uninstall = nullptr;
    ASSERT_EQ(::RegCreateKeyA(root, kWow, &uninstall), ERROR_SUCCESS);
    ::RegCloseKey(uninstall);
    {
        const kav::RegistryRootOverride replaced(kav::RegistryRoot::LocalMachine, root);
        EXPECT_EQ(RegisterUninstallEntry(), 0);
    }
    EXPECT_EQ(kavtest::ValueCount(root, std::string(kWow) + "Kavrindel_201805v9.5"), 6u);
    ::RegCloseKey(root);
    EXPECT_FALSE(kavtest::KeyExists(HKEY_LOCAL_MACHINE, kEntryPath));
}

TEST_F(UninstallEntry, AProductKeyThatCannotBeCreatedLeavesNothing) {
    // Below a volatile Uninstall key only volatile keys can be created, so the product key fails.
    HKEY root = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kTestRootPath, &root), ERROR_SUCCESS);
    HKEY parent = nullptr;
    ASSERT_EQ(::RegCreateKeyA(root, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion", &parent),
              ERROR_SUCCESS);
    HKEY uninstall = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(parent, "Uninstall", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                &uninstall, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(uninstall);
    ::RegCloseKey(parent);
    {
        const kav::RegistryRootOverride replaced(kav::RegistryRoot::LocalMachine, root);
        EXPECT_EQ(RegisterUninstallEntry(), -1);
    }
    ASSERT_TRUE(kavtest::KeyExists(root, kWow));
    EXPECT_EQ(kavtest::SubkeyCount(root, kWow), 0u);
    EXPECT_EQ(kavtest::ValueCount(root, kWow), 0u);
    ::RegCloseKey(root);
}

// Run under an ANSI code page other than 936 (950, traditional Chinese).
class AnsiCodePage : public UninstallEntry {};

TEST_F(AnsiCodePage, NarrowValuesReadInTheSystemCodePageAndUtf16ValuesAsGbk) {
    ASSERT_EQ(::GetACP(), 950u) << "this case runs with LANG=zh_TW.UTF-8";
    InstallSettings& settings = GetInstallSettings();
    settings.productTitle = "安装";
    settings.installDir = "D:\\安装\\KAvrindel201805v9.5";
    ASSERT_EQ(RegisterUninstallEntry(), 0);

    // Intended: the installer converts the values of the UTF-16 call from code page 936 itself, so
    // they read as written on every system...
    EXPECT_EQ(kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"DisplayName").text, L"安装v9.5");
    EXPECT_EQ(kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"Shortcut").text,
              CommonDesktop() + L"\\安装v9.5.lnk");

    // ...while the values of the narrow call are taken in the system's ANSI code page, so the GBK
    // bytes of the install folder read as Big5 text here, not as the folder's real name.
    const std::string uninstall = settings.installDir + "\\uninstall.exe";
    const std::string icon = settings.installDir + "\\kavrindel v9.5.exe";
    const std::wstring uninstallRead = kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"UninstallString").text;
    EXPECT_EQ(uninstallRead, kav::WideFromNarrow(uninstall.c_str(), kav::kBig5CodePage, 1024));
    EXPECT_NE(uninstallRead, L"D:\\安装\\KAvrindel201805v9.5\\uninstall.exe");
    EXPECT_EQ(kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"DisplayIcon").text,
              kav::WideFromNarrow(icon.c_str(), kav::kBig5CodePage, 1024));
    // A narrow reader on the same system gets the installer's bytes back.
    EXPECT_EQ(kavtest::ReadNarrowValue(HKEY_LOCAL_MACHINE, kEntryPath, "UninstallString"), uninstall);
}

}  // namespace
