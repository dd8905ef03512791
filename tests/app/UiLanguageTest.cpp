// Run once per locale by ctest; KAV_EXPECTED_LANGUAGE names the language the installer must pick.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "app/InstallSettings.h"
#include "app/LocalizedTexts.h"

TEST(SelectUiLanguage, FollowsTheUsersUiLanguage) {
    const std::string expected = kavtest::Env("KAV_EXPECTED_LANGUAGE");
    ASSERT_FALSE(expected.empty());
    SelectUiLanguage();
    const InstallSettings& settings = GetInstallSettings();
    EXPECT_EQ(settings.uiLanguageId, std::atoi(expected.c_str()));
    EXPECT_EQ(settings.packageCode, "201805");
    // All three title strings hold the same text; the traditional one went 950 -> UTF-16 -> 936.
    EXPECT_EQ(settings.productTitle, "Qerlix Trading System");
    EXPECT_EQ(settings.installedVersion, "");
    EXPECT_EQ(settings.installDir, "") << "folders are derived later, by the dialog";

    const TextLanguage language = LanguageOf(settings.uiLanguageId);
    const wchar_t* install = DialogText(0);
    switch (settings.uiLanguageId) {
        case 1033: EXPECT_EQ(language, TextLanguage::English); EXPECT_STREQ(install, L"Install"); break;
        case 1028: EXPECT_EQ(language, TextLanguage::Traditional); EXPECT_STREQ(install, L"安裝"); break;
        default: EXPECT_EQ(language, TextLanguage::Simplified); EXPECT_STREQ(install, L"安装"); break;
    }
}
