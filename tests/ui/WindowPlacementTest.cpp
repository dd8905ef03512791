// Where the dialog goes: centred on the monitor under the pointer, vertically on the primary screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "ui/dialog/WindowPlacement.h"

namespace {

using kav::DisplayMode;

constexpr DisplayMode kPrimary = {0, 0, 1920, 1080, 96};
constexpr DisplayMode kRightOfPrimary = {1920, 0, 1920, 1080, 96};

struct PlacementCase {
    const char* name;
    POINT pointer;
    std::vector<DisplayMode> modes;
    int screenHeight;
    POINT expected;
};

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, CentresOnTheMonitorUnderThePointer) {
    const PlacementCase& c = GetParam();
    const POINT origin = kav::DialogPosition(c.pointer, c.modes, c.screenHeight);
    EXPECT_EQ(origin.x, c.expected.x);
    EXPECT_EQ(origin.y, c.expected.y);
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, Placement,
    ::testing::Values(
        PlacementCase{"PrimaryOnly", {100, 100}, {kPrimary}, 1080, {710, 385}},
        PlacementCase{"MonitorRightOfPrimary", {2000, 500}, {kPrimary, kRightOfPrimary}, 1080, {2630, 385}},
        PlacementCase{"FirstMonitorHoldingThePointerWins", {2000, 500}, {kRightOfPrimary, kPrimary}, 1080,
                      {2630, 385}},
        PlacementCase{"PrimaryListedAfterTheOther", {300, 300}, {kRightOfPrimary, kPrimary}, 1080, {710, 385}},
        PlacementCase{"RightEdgeBelongsToTheNextMonitor", {1920, 10}, {kPrimary, kRightOfPrimary}, 1080, {2630, 385}},
        PlacementCase{"PointerOffEveryMonitorFallsBackToPrimary", {5000, 100}, {kRightOfPrimary, kPrimary}, 1080,
                      {710, 385}},
        PlacementCase{"MonitorLeftOfPrimary", {-100, 50}, {kPrimary, {-1920, 0, 1920, 1080, 96}}, 1080, {-1210, 385}},
        PlacementCase{"MonitorBelowIsChosenByHeightToo", {100, 1500}, {kPrimary, {0, 1080, 1280, 1024, 96}}, 1080,
                      {390, 385}},
        PlacementCase{"ScaledPrimaryAt192", {1000, 500}, {{0, 0, 3840, 2160, 192}}, 1080, {710, 385}},
        PlacementCase{"ScaledMonitorRightOfPrimary", {2500, 100}, {kPrimary, {3840, 0, 3840, 2160, 192}}, 1080,
                      {2630, 385}},
        PlacementCase{"ScaledAt120Truncates", {10, 10}, {{0, 0, 2401, 1350, 120}}, 1080, {710, 385}},
        PlacementCase{"NinetySixIsNotScaled", {10, 10}, {{0, 0, 2400, 1350, 96}}, 1350, {950, 520}},
        PlacementCase{"NarrowMonitorTruncatesTowardZero", {10, 10}, {{0, 0, 301, 200, 96}}, 311, {-99, 0}},
        PlacementCase{"NoDisplayAtAll", {800, 300}, {}, 1080, {550, 385}},
        PlacementCase{"NoDisplayAndShortScreen", {800, 300}, {}, 0, {550, -155}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CurrentDisplayModes, FindsTheScreenOfThisSession) {
    const std::vector<DisplayMode> modes = kav::CurrentDisplayModes();
    ASSERT_FALSE(modes.empty());
    bool primary = false;
    for (const DisplayMode& mode : modes) {
        if (mode.x == 0 && mode.y == 0) {
            primary = true;
            EXPECT_EQ(mode.width, ::GetSystemMetrics(SM_CXSCREEN));
            EXPECT_EQ(mode.height, ::GetSystemMetrics(SM_CYSCREEN));
        }
    }
    EXPECT_TRUE(primary);
}

}  // namespace
