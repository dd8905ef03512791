#include <gtest/gtest.h>

#include "ui/dialog/ClickAction.h"
#include "ui/dialog/DialogLayout.h"

namespace {

using kav::ClickAction;

struct ClickCase {
    const char* name;
    POINT pointer;
    DialogState state;
    bool panelHidden;
    ClickAction expected;
};

class ClickRule : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ClickRule, PicksTheFirstMatchingArea) {
    const kav::DialogLayout layout = kav::ComputeDialogLayout(500, 310);
    const kav::ClickAreas areas = {layout.buttonRect, layout.browseRect, layout.customRect};
    const ClickCase& c = GetParam();
    EXPECT_EQ(kav::ClickActionFor(c.pointer, c.state, c.panelHidden, areas), c.expected);
}

// At 500 by 310: main button (200, 202, 300, 238), Browse (420, 155, 470, 180), Custom link
// (400, 290, 495, 310).
INSTANTIATE_TEST_SUITE_P(
    Cases, ClickRule,
    ::testing::Values(
        ClickCase{"ButtonReady", {250, 220}, Ready, true, ClickAction::StartInstall},
        ClickCase{"ButtonReadyPanelShown", {250, 220}, Ready, false, ClickAction::StartInstall},
        ClickCase{"ButtonFinished", {250, 220}, Finished, true, ClickAction::OpenProgram},
        ClickCase{"ButtonInstallingDoesNotDrag", {250, 220}, Installing, true, ClickAction::Nothing},
        ClickCase{"ButtonFailedDoesNotDrag", {250, 220}, Failed, false, ClickAction::Nothing},
        ClickCase{"ButtonTopLeftCornerInside", {200, 202}, Ready, true, ClickAction::StartInstall},
        ClickCase{"ButtonRightEdgeOutside", {300, 220}, Ready, true, ClickAction::Drag},
        ClickCase{"ButtonBottomEdgeOutside", {250, 238}, Ready, true, ClickAction::Drag},
        ClickCase{"BrowsePanelShown", {445, 167}, Ready, false, ClickAction::BrowseFolder},
        ClickCase{"BrowsePanelHiddenDrags", {445, 167}, Ready, true, ClickAction::Drag},
        ClickCase{"BrowseWhileInstallingDrags", {445, 167}, Installing, false, ClickAction::Drag},
        ClickCase{"BrowseFinishedDrags", {445, 167}, Finished, false, ClickAction::Drag},
        ClickCase{"CustomShowsThePanel", {450, 300}, Ready, true, ClickAction::ToggleCustomPanel},
        ClickCase{"CustomHidesThePanel", {450, 300}, Ready, false, ClickAction::ToggleCustomPanel},
        ClickCase{"CustomFinishedDrags", {450, 300}, Finished, true, ClickAction::Drag},
        ClickCase{"CustomFailedDrags", {450, 300}, Failed, true, ClickAction::Drag},
        ClickCase{"FreeSpotDrags", {60, 60}, Ready, true, ClickAction::Drag},
        ClickCase{"FreeSpotInstallingDrags", {60, 60}, Installing, true, ClickAction::Drag}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return std::string(info.param.name); });

}  // namespace
