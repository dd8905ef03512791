#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "RegistrationSupport.h"
#include "app/InstallSettings.h"
#include "system/RegistryRoots.h"
#include "system/UrlProtocol.h"

namespace {

constexpr char kScheme[] = "KAvrindel201805";
constexpr char kTestRootPath[] = "Software\\KavrindelTestClassesRoot";

using Lines = std::vector<std::string>;

class UrlProtocol : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = GetInstallSettings();
        GetInstallSettings().packageCode = "201805";
        GetInstallSettings().installDir = "D:\\Apps\\KAvrindel201805v9.5";
        kavtest::DeleteTree(HKEY_CLASSES_ROOT, kScheme);
        kavtest::DeleteTree(HKEY_CURRENT_USER, kTestRootPath);
    }
    void TearDown() override {
        kavtest::DeleteTree(HKEY_CLASSES_ROOT, kScheme);
        kavtest::DeleteTree(HKEY_CURRENT_USER, kTestRootPath);
        GetInstallSettings() = saved_;
    }

    static Lines Register() {
        kavtest::CapturedLog log;
        RegisterUrlProtocol();
        return log.Lines();
    }

private:
    InstallSettings saved_;
};

TEST_F(UrlProtocol, WritesTheSchemeTreeAndLogsStartAndFinishOnly) {
    EXPECT_EQ(Register(), (Lines{"URL Schemes: Start", "URL Schemes: Finish"}));

    const std::wstring program = L"D:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe";
    struct Expected {
        const char* key;
        const wchar_t* name;
        std::wstring text;
    };
    const Expected expected[] = {
        // Unlike most programs' schemes, "URL Protocol" holds the program path, not an empty text.
        {"KAvrindel201805", L"URL Protocol", program},
        {"KAvrindel201805", L"", L"KavrindelProtocol"},
        {"KAvrindel201805\\DefaultIcon", L"", program + L",1"},
        // The bare path: no quotes and no placeholder for the URL.
        {"KAvrindel201805\\shell\\open\\command", L"", program},
    };
    for (const Expected& e : expected) {
        const kavtest::StoredValue value = kavtest::ReadValue(HKEY_CLASSES_ROOT, e.key, e.name);
        ASSERT_TRUE(value.found) << e.key << " " << e.name;
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << e.key;
        EXPECT_EQ(value.text, e.text) << e.key;
        EXPECT_EQ(value.bytes, (e.text.size() + 1) * sizeof(wchar_t)) << e.key;
    }
    // Exactly these values and keys, nothing more: the four values and the four keys below the scheme.
    const auto tree = kavtest::SnapshotTree(HKEY_CLASSES_ROOT, kScheme);
    std::vector<std::wstring> names;
    for (const auto& entry : tree) names.push_back(entry.first);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"\\DefaultIcon|", L"\\DefaultIcon|<key>",
                                                L"\\shell\\open\\command|", L"\\shell\\open\\command|<key>",
                                                L"\\shell\\open|<key>", L"\\shell|<key>", L"|", L"|URL Protocol"}));
}

TEST_F(UrlProtocol, ARepeatedInstallOverwritesTheSameValues) {
    // A registration of an install in another folder.
    HKEY command = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CLASSES_ROOT, "KAvrindel201805\\shell\\open\\command", &command), ERROR_SUCCESS);
    const char old[] = "E:\\Old\\kavrindel v9.5.exe";
    ::RegSetValueExA(command, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof old);
    ::RegCloseKey(command);

    EXPECT_EQ(Register(), (Lines{"URL Schemes: Start", "URL Schemes: Finish"}));
    const auto first = kavtest::SnapshotTree(HKEY_CLASSES_ROOT, kScheme);
    EXPECT_EQ(Register(), (Lines{"URL Schemes: Start", "URL Schemes: Finish"}));
    EXPECT_EQ(kavtest::SnapshotTree(HKEY_CLASSES_ROOT, kScheme), first);
    EXPECT_EQ(kavtest::ReadValue(HKEY_CLASSES_ROOT, "KAvrindel201805\\shell\\open\\command", L"").text,
              L"D:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe");
    EXPECT_EQ(first.size(), 8u);
}

TEST_F(UrlProtocol, ASchemeKeyThatCanNeitherBeOpenedNorCreatedStopsAfterOneLine) {
    {
        const kav::RegistryRootOverride closed(kav::RegistryRoot::ClassesRoot, kavtest::ClosedKeyHandle());
        EXPECT_EQ(Register(), (Lines{"URL Schemes: Start", "URL Schemes: Create url key Failed"}));
    }
    EXPECT_FALSE(kavtest::KeyExists(HKEY_CLASSES_ROOT, kScheme));
}

TEST_F(UrlProtocol, TheSchemeGoesBelowTheRootItIsGiven) {
    HKEY root = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kTestRootPath, &root), ERROR_SUCCESS);
    {
        const kav::RegistryRootOverride replaced(kav::RegistryRoot::ClassesRoot, root);
        EXPECT_EQ(Register(), (Lines{"URL Schemes: Start", "URL Schemes: Finish"}));
    }
    EXPECT_EQ(kavtest::SnapshotTree(root, kScheme).size(), 8u);
    ::RegCloseKey(root);
    EXPECT_FALSE(kavtest::KeyExists(HKEY_CLASSES_ROOT, kScheme));
}

// A volatile key takes only volatile subkeys, so creating a (non-volatile) subkey below it fails
// on every Windows, whatever rights the caller has. Subkeys that exist already are opened.
struct SubkeyFailure {
    std::vector<const char*> existing;  // volatile keys below the scheme key before the run
    const char* failureLine;
    std::vector<std::wstring> tree;     // what the scheme key holds afterwards
};

class UrlSchemeSubkeyFailure : public UrlProtocol, public ::testing::WithParamInterface<SubkeyFailure> {};

TEST_P(UrlSchemeSubkeyFailure, StopsAtTheFirstKeyThatCannotBeCreated) {
    HKEY root = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kTestRootPath, &root), ERROR_SUCCESS);
    std::vector<std::string> volatileKeys = {kScheme};
    for (const char* subkey : GetParam().existing) volatileKeys.push_back(std::string(kScheme) + "\\" + subkey);
    for (const std::string& path : volatileKeys) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    {
        const kav::RegistryRootOverride replaced(kav::RegistryRoot::ClassesRoot, root);
        EXPECT_EQ(Register(), (Lines{"URL Schemes: Start", GetParam().failureLine}));
    }
    // What was written before the failure stays.
    std::vector<std::wstring> names;
    for (const auto& entry : kavtest::SnapshotTree(root, kScheme)) names.push_back(entry.first);
    EXPECT_EQ(names, GetParam().tree);
    EXPECT_EQ(kavtest::ReadValue(root, kScheme, L"URL Protocol").text,
              L"D:\\Apps\\KAvrindel201805v9.5\\kavrindel v9.5.exe");
    ::RegCloseKey(root);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UrlSchemeSubkeyFailure,
    ::testing::Values(
        SubkeyFailure{{}, "URL Schemes: Create DefaultIcon key Failed", {L"|", L"|URL Protocol"}},
        SubkeyFailure{{"DefaultIcon"},
                      "URL Schemes: Create shell key Failed",
                      {L"\\DefaultIcon|", L"\\DefaultIcon|<key>", L"|", L"|URL Protocol"}},
        SubkeyFailure{{"DefaultIcon", "shell"},
                      "URL Schemes: Create shellopen key Failed",
                      {L"\\DefaultIcon|", L"\\DefaultIcon|<key>", L"\\shell|<key>", L"|", L"|URL Protocol"}},
        SubkeyFailure{{"DefaultIcon", "shell", "shell\\open"},
                      "URL Schemes: Create shellopencommand key Failed",
                      {L"\\DefaultIcon|", L"\\DefaultIcon|<key>", L"\\shell\\open|<key>", L"\\shell|<key>", L"|",
                       L"|URL Protocol"}}));

TEST(UrlSchemeSteps, LongProgramPathsAreCutAtTheBuffer) {
    const std::string installDir = "D:\\" + std::string(1100, 'a');
    const auto steps = kav::UrlSchemeStepsFor(installDir);
    ASSERT_EQ(steps.size(), 6u);
    EXPECT_EQ(steps[0].value, installDir.substr(0, 1023));
    EXPECT_EQ(steps[2].value, installDir.substr(0, 1023));  // no room left for ",1"
    EXPECT_EQ(steps[5].value, installDir.substr(0, 1023));

    const std::string shortDir = "D:\\" + std::string(1000, 'a');  // program path of 1022 bytes
    EXPECT_EQ(kav::UrlSchemeStepsFor(shortDir)[2].value, shortDir + "\\kavrindel v9.5.exe,");
}

}  // namespace
