#include <gtest/gtest.h>

#include "app/InstallSettings.h"
#include "app/StringTable.h"
#include "system/InteractiveUser.h"

namespace {

struct DeriveCase {
    const char* base;
    const char* installDir;
    const char* logDir;
    const char* tempDir;
    const char* dependBaseDir;
};

class DerivePaths : public ::testing::TestWithParam<DeriveCase> {};

TEST_P(DerivePaths, FromBaseFolder) {
    const DeriveCase& c = GetParam();
    InstallSettings settings;
    kav::DerivePathsFrom(settings, c.base, "", "201805");
    EXPECT_EQ(settings.productFolderName, "KAvrindel201805v9.5");
    EXPECT_EQ(settings.installDir, c.installDir);
    EXPECT_EQ(settings.logDir, c.logDir);
    EXPECT_EQ(settings.tempDir, c.tempDir);
    EXPECT_EQ(settings.dependBaseDir, c.dependBaseDir);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DerivePaths,
    ::testing::Values(
        DeriveCase{"D:\\Prof\\Local", "D:\\Prof\\Local\\KAvrindel201805v9.5",
                   "D:\\Prof\\Local\\KAvrindel201805v9.5\\kavrindellog", "D:\\Prof\\Local\\KAvrindel201805v9.5temp",
                   "D:\\Prof\\Local\\KAvrindelDependBaseV9.5"},
        // No local application-data folder: every folder starts with a backslash.
        DeriveCase{"", "\\KAvrindel201805v9.5", "\\KAvrindel201805v9.5\\kavrindellog", "\\KAvrindel201805v9.5temp",
                   "\\KAvrindelDependBaseV9.5"}));

TEST(DerivePaths, FolderStemReplacesTheDefault) {
    InstallSettings settings;
    kav::DerivePathsFrom(settings, "C:\\L", "Qerlix", "201805");
    EXPECT_EQ(settings.productFolderName, "Qerlix201805v9.5");
    EXPECT_EQ(settings.installDir, "C:\\L\\Qerlix201805v9.5");
}

TEST(RebaseInstallDir, MovesInstallAndLogFoldersOnly) {
    InstallSettings& settings = GetInstallSettings();
    kav::DerivePathsFrom(settings, "D:\\Prof\\Local", "", "201805");

    RebaseInstallDir("E:\\Apps");
    EXPECT_EQ(settings.installDir, "E:\\Apps\\KAvrindel201805v9.5");
    EXPECT_EQ(settings.logDir, "E:\\Apps\\KAvrindel201805v9.5\\kavrindellog");
    EXPECT_EQ(settings.tempDir, "D:\\Prof\\Local\\KAvrindel201805v9.5temp");
    EXPECT_EQ(settings.dependBaseDir, "D:\\Prof\\Local\\KAvrindelDependBaseV9.5");

    // A drive root comes back from the shell with its backslash; the doubled separator stays.
    RebaseInstallDir("E:\\");
    EXPECT_EQ(settings.installDir, "E:\\\\KAvrindel201805v9.5");
    EXPECT_EQ(settings.logDir, "E:\\\\KAvrindel201805v9.5\\kavrindellog");

    // A second pick replaces the first; it never nests.
    RebaseInstallDir("F:\\Other");
    EXPECT_EQ(settings.installDir, "F:\\Other\\KAvrindel201805v9.5");
    EXPECT_EQ(settings.tempDir, "D:\\Prof\\Local\\KAvrindel201805v9.5temp");
}

TEST(UiLanguage, HongKongIsTraditionalAndOthersAreThemselves) {
    EXPECT_EQ(kav::EffectiveUiLanguage(3076), 1028);
    EXPECT_EQ(kav::EffectiveUiLanguage(1028), 1028);
    EXPECT_EQ(kav::EffectiveUiLanguage(1033), 1033);
    EXPECT_EQ(kav::EffectiveUiLanguage(2052), 2052);
    EXPECT_EQ(kav::EffectiveUiLanguage(1041), 1041);
}

TEST(UiLanguage, TitleStringByLanguage) {
    EXPECT_EQ(kav::TitleResourceFor(1028), 105u);
    EXPECT_EQ(kav::TitleResourceFor(1033), 106u);
    EXPECT_EQ(kav::TitleResourceFor(2052), 104u);
    EXPECT_EQ(kav::TitleResourceFor(1041), 104u);
    EXPECT_EQ(kav::TitleResourceFor(0), 104u);
}

TEST(DeriveInstallPaths, UsesTheConsoleUsersFolderAndTheStringTable) {
    InstallSettings& settings = GetInstallSettings();
    settings = InstallSettings{};
    DeriveInstallPaths();
    std::string base;
    GetInteractiveUserLocalAppData(base);
    ASSERT_FALSE(base.empty());
    EXPECT_EQ(settings.installDir, base + "\\KAvrindel201805v9.5");
    EXPECT_EQ(settings.tempDir, base + "\\KAvrindel201805v9.5temp");
    EXPECT_EQ(settings.logDir, base + "\\KAvrindel201805v9.5\\kavrindellog");
    EXPECT_EQ(settings.dependBaseDir, base + "\\KAvrindelDependBaseV9.5");
}

TEST(GetInstallSettings, FirstUseFromTwoThreadsGivesOneRecord) {
    InstallSettings* seen[2] = {};
    auto worker = [](void* slot) -> DWORD {
        *static_cast<InstallSettings**>(slot) = &GetInstallSettings();
        return 0;
    };
    HANDLE a = ::CreateThread(nullptr, 0, worker, &seen[0], 0, nullptr);
    HANDLE b = ::CreateThread(nullptr, 0, worker, &seen[1], 0, nullptr);
    ::WaitForSingleObject(a, INFINITE);
    ::WaitForSingleObject(b, INFINITE);
    ::CloseHandle(a);
    ::CloseHandle(b);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], &GetInstallSettings());
}

}  // namespace
