#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/InstallSettings.h"
#include "engine/WorkerMessages.h"
#include "ui/dialog/WorkerMessageEffect.h"

namespace {

struct EffectCase {
    const char* name;
    DialogState state;
    UINT message;
    LPARAM lParam;
    DialogState expectedState;
    std::optional<std::int32_t> position;  // set into the progress bar
    std::optional<std::wstring> status;    // replaces the status text
    bool closeLog;
    bool hideProgress;
    bool repaint;
};

class WorkerMessageRule : public ::testing::TestWithParam<EffectCase> {
protected:
    void SetUp() override { GetInstallSettings().uiLanguageId = 1033; }
};

TEST_P(WorkerMessageRule, ChangesTheDialogAsDecided) {
    const EffectCase& c = GetParam();
    const kav::WorkerMessageEffect effect = kav::EffectOfWorkerMessage(c.state, c.message, c.lParam);
    EXPECT_TRUE(effect.handled);
    EXPECT_EQ(effect.state, c.expectedState);
    EXPECT_EQ(effect.setPosition, c.position.has_value());
    if (c.position) {
        EXPECT_EQ(effect.position, *c.position);
    }
    EXPECT_EQ(effect.replaceStatus, c.status.has_value());
    if (c.status) {
        EXPECT_EQ(effect.status, *c.status);
    }
    EXPECT_EQ(effect.closeLog, c.closeLog);
    EXPECT_EQ(effect.hideProgress, c.hideProgress);
    EXPECT_EQ(effect.repaint, c.repaint);
    EXPECT_EQ(effect.paintNow, c.message == WM_INSTALL_DONE);
}

constexpr std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkerMessageRule,
    ::testing::Values(
        EffectCase{"ProgressStartsTheProgressPage", Ready, WM_INSTALL_PROGRESS, 16, Installing, 16, none, false, false,
                   true},
        EffectCase{"ProgressWhileInstalling", Installing, WM_INSTALL_PROGRESS, 64, Installing, 64, none, false, false,
                   true},
        EffectCase{"ProgressAboveHundredIsKept", Installing, WM_INSTALL_PROGRESS, 250, Installing, 250, none, false,
                   false, true},
        EffectCase{"ProgressTakesTheLow32BitsSigned", Installing, WM_INSTALL_PROGRESS,
                   static_cast<LPARAM>(0x100000000LL + 0xFFFFFFFFLL), Installing, -1, none, false, false, true},
        EffectCase{"ProgressAfterDoneBringsTheProgressPageBack", Finished, WM_INSTALL_PROGRESS, 90, Installing, 90,
                   none, false, false, true},
        EffectCase{"ProgressIsIgnoredAfterAFailure", Failed, WM_INSTALL_PROGRESS, 16, Failed, none, none, false, false,
                   false},
        EffectCase{"DoneShowsTheFinishedPage", Installing, WM_INSTALL_DONE, 0, Finished, none, none, false, true, true},
        EffectCase{"FailedShowsTheStepAndFail", Installing, WM_INSTALL_FAILED, StepDownloadFix, Failed, none,
                   L"Download runtime library Fail", true, false, true},
        EffectCase{"FailedLastStep", Installing, WM_INSTALL_FAILED, StepDeleteOldInstall, Failed, none,
                   L"Delete backup files Fail", true, false, true},
        EffectCase{"FailedWithAnUnknownCodeKeepsTheText", Installing, WM_INSTALL_FAILED, 15, Failed, none, none, true,
                   false, true},
        EffectCase{"FailedWithANegativeCodeKeepsTheText", Installing, WM_INSTALL_FAILED, -1, Failed, none, none, true,
                   false, true},
        EffectCase{"StepReplacesTheText", Installing, WM_INSTALL_STEP, StepInstallBase, Installing, none,
                   L"Install service dependency library", false, false, true},
        EffectCase{"StepAfterAFailureShowsTheBareText", Failed, WM_INSTALL_STEP, StepDownloadBase, Failed, none,
                   L"Download service dependency library", false, false, true},
        EffectCase{"StepZero", Ready, WM_INSTALL_STEP, StepDownloadManifest, Ready, none,
                   L"Download install-statistics", false, false, true},
        EffectCase{"StepWithAnUnknownCodeChangesNothing", Installing, WM_INSTALL_STEP, 15, Installing, none, none,
                   false, false, false},
        EffectCase{"StepWithAHugeCodeChangesNothing", Failed, WM_INSTALL_STEP, 0x100000000LL, Failed, none, none, false,
                   false, false}),
    [](const ::testing::TestParamInfo<EffectCase>& info) { return std::string(info.param.name); });

TEST(WorkerMessageRule, LeavesOtherMessagesToTheWindow) {
    for (const UINT message : {UINT{WM_USER}, UINT{WM_USER + 106}, UINT{WM_USER + 109}, UINT{WM_PAINT}}) {
        EXPECT_FALSE(kav::EffectOfWorkerMessage(Installing, message, 0).handled) << message;
    }
}

TEST(WorkerMessageRule, FailureTextsFollowTheLanguage) {
    GetInstallSettings().uiLanguageId = 2052;
    EXPECT_EQ(kav::FailureText(StepDownloadManifest), L"下载安装统计信息失败");
    GetInstallSettings().uiLanguageId = 1028;
    EXPECT_EQ(kav::FailureText(StepFilesOccupied), L"文件夾或文件被另一程序占用,安裝失敗");
    GetInstallSettings().uiLanguageId = 1033;
    EXPECT_EQ(kav::FailureText(StepDownloadManifest), L"Download install-statistics Fail");
}

}  // namespace
