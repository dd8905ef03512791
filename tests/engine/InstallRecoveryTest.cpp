// The next start's recovery after a run cut while it replaced the installation, on real folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "TestSupport.h"
#include "engine/InstallRecovery.h"
#include "engine/InstallationSwap.h"

namespace {

using kav::RecoveryAction;

TEST(RecoveryActionFor, PutsBackOnlyIntoAnEmptyPlace) {
    EXPECT_EQ(kav::RecoveryActionFor(false, false), RecoveryAction::Nothing);
    EXPECT_EQ(kav::RecoveryActionFor(true, false), RecoveryAction::Nothing);
    EXPECT_EQ(kav::RecoveryActionFor(false, true), RecoveryAction::PutBack);
    EXPECT_EQ(kav::RecoveryActionFor(true, true), RecoveryAction::Discard);
}

TEST(InstallationSwapNames, AreSiblingsOfTheInstallFolder) {
    EXPECT_EQ(kav::MovedAsideFolderFor("C:\\A\\KAvrindel201805v9.5"), "C:\\A\\KAvrindel201805v9.5old");
    EXPECT_EQ(kav::DiscardFolderFor("C:\\A\\KAvrindel201805v9.5"), "C:\\A\\KAvrindel201805v9.5trash");
}

// Which releases lie where before the recovery, and what the install folder holds afterwards.
enum class Content { Absent, Old, New, HalfOld };

struct RecoveryCase {
    const char* name;
    Content install;
    Content movedAside;
    Content discard;
    RecoveryAction action;
    Content after;
};

void WriteRelease(const std::string& folder, Content content) {
    if (content == Content::Absent) return;
    const std::string tag = content == Content::New ? "new" : "old";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((folder + "\\config").c_str(), nullptr));
    kavtest::WriteFileBytes(folder + "\\kavrindel v9.5.exe", tag + " program");
    kavtest::WriteFileBytes(folder + "\\update.ini", "[version]\r\ncur=" + tag + "\r\n");
    if (content != Content::HalfOld) kavtest::WriteFileBytes(folder + "\\config\\kavrindel.Default.pri", tag);
}

class Recovery : public ::testing::TestWithParam<RecoveryCase> {
protected:
    kavtest::TempFolder root_{"kav-recovery"};
};

TEST_P(Recovery, LeavesOneWholeReleaseAndNothingBesideIt) {
    const RecoveryCase& c = GetParam();
    const std::string install = root_ / "KAvrindel201805v9.5";
    kavtest::TempFolder reference{"kav-release"};
    WriteRelease(reference / "release", c.after);
    const auto expected = kavtest::TreeOf(reference / "release");

    WriteRelease(install, c.install);
    WriteRelease(kav::MovedAsideFolderFor(install), c.movedAside);
    WriteRelease(kav::DiscardFolderFor(install), c.discard);

    EXPECT_EQ(kav::RecoverInterruptedSwap(install), c.action);
    EXPECT_EQ(kavtest::PathExists(install), c.after != Content::Absent);
    EXPECT_EQ(kavtest::TreeOf(install), expected);
    EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(install)));
    EXPECT_FALSE(kavtest::PathExists(kav::DiscardFolderFor(install)));
}

INSTANTIATE_TEST_SUITE_P(
    States, Recovery,
    ::testing::Values(
        RecoveryCase{"NothingLeft", Content::New, Content::Absent, Content::Absent, RecoveryAction::Nothing, Content::New},
        RecoveryCase{"NoInstallation", Content::Absent, Content::Absent, Content::Absent, RecoveryAction::Nothing, Content::Absent},
        RecoveryCase{"CutBetweenTheRenames", Content::Absent, Content::Old, Content::Absent, RecoveryAction::PutBack, Content::Old},
        RecoveryCase{"CutBeforeTheDeletion", Content::New, Content::Old, Content::Absent, RecoveryAction::Discard, Content::New},
        RecoveryCase{"CutDuringTheDeletion", Content::New, Content::Absent, Content::HalfOld, RecoveryAction::Nothing, Content::New},
        // A half-deleted folder is never taken for an installation, even where none is left.
        RecoveryCase{"HalfDeletedAlone", Content::Absent, Content::Absent, Content::HalfOld, RecoveryAction::Nothing, Content::Absent},
        RecoveryCase{"MovedAsideBesideAHalfDeletedOne", Content::Absent, Content::Old, Content::HalfOld, RecoveryAction::PutBack, Content::Old},
        RecoveryCase{"BothBesideAHalfDeletedOne", Content::New, Content::Old, Content::HalfOld, RecoveryAction::Discard, Content::New}),
    [](const ::testing::TestParamInfo<RecoveryCase>& info) { return std::string(info.param.name); });

}  // namespace
