#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/InstallSettings.h"
#include "app/LocalizedTexts.h"

namespace {

void UseLanguage(std::int32_t id) { GetInstallSettings().uiLanguageId = id; }

struct LookupCase {
    std::int32_t languageId;
    const wchar_t* install;
    const wchar_t* browse;
};

class LanguageRule : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LanguageRule, ChoosesTheTableByLanguageId) {
    UseLanguage(GetParam().languageId);
    EXPECT_STREQ(DialogText(0), GetParam().install);
    EXPECT_STREQ(BrowseButtonText.Current(), GetParam().browse);
    EXPECT_STREQ(DialogText(4), L"Kavrindel");
}

INSTANTIATE_TEST_SUITE_P(Table, LanguageRule,
                         ::testing::Values(LookupCase{1033, L"Install", L"Browse"}, LookupCase{1028, L"安裝", L"瀏覽"},
                                           LookupCase{2052, L"安装", L"浏览"}, LookupCase{0, L"安装", L"浏览"},
                                           LookupCase{1041, L"安装", L"浏览"}));

std::wstring FailureLine(std::int32_t languageId, std::int32_t step) {
    UseLanguage(languageId);
    return std::wstring(StepText(step)) + DialogText(6);
}

TEST(FailureLines, StepTextFollowedByFail) {
    EXPECT_EQ(FailureLine(1033, 11), L"The folder or file is occupied by another program,install Fail");
    EXPECT_EQ(FailureLine(1028, 11), L"文件夾或文件被另一程序占用,安裝失敗");
    EXPECT_EQ(FailureLine(2052, 11), L"文件夹或文件被另一程序占用,安装失败");
    EXPECT_EQ(FailureLine(2052, 3), L"下载配置文件失败");
    EXPECT_EQ(FailureLine(1033, 0), L"Download install-statistics Fail");
}

TEST(Tables, EveryEntryIsAFixedSlotOfOneHundredUnits) {
    for (TextLanguage language : {TextLanguage::English, TextLanguage::Traditional, TextLanguage::Simplified}) {
        for (std::int32_t i = 1; i < kDialogTextRows; ++i) {
            EXPECT_EQ(DialogTextIn(language, i) - DialogTextIn(language, 0), i * kTextSlotUnits);
        }
        for (std::int32_t i = 1; i < kStepTextRows; ++i) {
            EXPECT_EQ(StepTextIn(language, i) - StepTextIn(language, 0), i * kTextSlotUnits);
        }
    }
}

TEST(Tables, TextsThatDifferOnlyInDetail) {
    EXPECT_STREQ(StepTextIn(TextLanguage::English, 10), L"Install Quant Runtime Library");
    EXPECT_STREQ(StepTextIn(TextLanguage::English, 5), L"Download Quant runtime library");
    EXPECT_STREQ(DialogTextIn(TextLanguage::English, 3), DialogTextIn(TextLanguage::English, 5));
    EXPECT_STREQ(WarningCaptionText.In(TextLanguage::Traditional), WarningCaptionText.In(TextLanguage::Simplified));
    EXPECT_STREQ(DialogTextIn(TextLanguage::English, 10), L"Installing, please wait...");
    EXPECT_STREQ(DialogTextIn(TextLanguage::Simplified, 10), L"安装中，请稍后...");
}

TEST(Tables, FolderBrowserTitleIsNarrowCodePage936) {
    EXPECT_STREQ(BrowseFolderTitleText.In(TextLanguage::English), "Browse Folder");
    EXPECT_STREQ(BrowseFolderTitleText.In(TextLanguage::Simplified), "\xE4\xAF\xC0\xC0\xCE\xC4\xBC\xFE\xBC\xD0");
    EXPECT_STREQ(BrowseFolderTitleText.In(TextLanguage::Traditional), "\x9E\x67\xD3\x5B\xD9\x59\xC1\xCF\x8A\x41");
}

}  // namespace
