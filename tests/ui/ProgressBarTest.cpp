// The progress bar: where the bar goes for a value, and what the control paints at its installing
// size of 434 by 15.
#include <gtest/gtest.h>
#include <windows.h>

#include "WindowCapture.h"
#include "ui/toolkit/SharedDrawing.h"
#include "ui/toolkit/TModalWnd.h"
#include "ui/toolkit/TProcess.h"

namespace {

using kavtest::Capture;

constexpr RECT kInstallingClient = {0, 0, 434, 15};

struct ShapeCase {
    const char* name;
    int position;
    bool drawn;
    RECT bar;
    bool squared;
    RECT squareFill;
};

class BarShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(BarShape, FollowsThePosition) {
    const ShapeCase& c = GetParam();
    const kav::ProgressBarShape shape = kav::ProgressBarShapeFor(kInstallingClient, c.position);
    ASSERT_EQ(shape.drawn, c.drawn);
    if (!c.drawn) return;
    EXPECT_TRUE(::EqualRect(&shape.bar, &c.bar)) << shape.bar.left << "," << shape.bar.right;
    ASSERT_EQ(shape.squared, c.squared);
    if (c.squared) {
        EXPECT_TRUE(::EqualRect(&shape.squareFill, &c.squareFill)) << shape.squareFill.left;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Toolkit, BarShape,
    ::testing::Values(ShapeCase{"Half", 50, true, {3, 3, 217, 12}, true, {213, 3, 217, 12}},
                      ShapeCase{"Full", 100, true, {3, 3, 431, 12}, false, {}},
                      ShapeCase{"One", 1, true, {3, 3, 7, 12}, true, {3, 3, 7, 12}},
                      ShapeCase{"ThirtySeven", 37, true, {3, 3, 161, 12}, true, {157, 3, 161, 12}},
                      ShapeCase{"NinetyNine", 99, true, {3, 3, 426, 12}, true, {422, 3, 426, 12}},
                      ShapeCase{"Zero", 0, false, {}, false, {}},
                      ShapeCase{"Negative", -5, false, {}, false, {}},
                      ShapeCase{"AboveHundred", 101, false, {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A plain parent for the control.
class Host : public TModalWnd {
public:
    void CreateControls() override {}
    void PlaceWindow() override {}
    ~Host() {
        if (hwnd != nullptr && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
};

class ProgressControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.Create(L"TModalWnd", nullptr, WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOPMOST), nullptr);
        ::ShowWindow(host.hwnd, SW_SHOWNA);
        ::MoveWindow(host.hwnd, 60, 60, 500, 80, TRUE);
        ASSERT_NE(bar.Create(kav::kProgressClassName, host.hwnd, kav::kProgressStyle, 0), nullptr);
        ::MoveWindow(bar.hwnd, 34, 40, 434, 15, FALSE);
    }

    Capture Show(int position) {
        bar.position = position;
        ::InvalidateRect(bar.hwnd, nullptr, FALSE);
        return kavtest::PaintAndCapture(bar.hwnd);
    }

    kavtest::SharedDrawingScope drawing;
    Host host;
    TProcess bar;
};

constexpr COLORREF kWhite = 0xFFFFFF;

bool IsBar(COLORREF c) { return c == kav::kBarColour; }

TEST_F(ProgressControl, HalfwayBarEndsSquareAt217) {
    const Capture shot = Show(50);
    ASSERT_EQ(shot.width, 434);
    ASSERT_EQ(shot.height, 15);
    EXPECT_EQ(shot.At(100, 7), kav::kBarColour);
    EXPECT_EQ(shot.At(216, 3), kav::kBarColour) << "the right end is squared off";
    EXPECT_EQ(shot.At(216, 11), kav::kBarColour);
    EXPECT_EQ(shot.At(217, 7), kWhite);
    EXPECT_NE(shot.At(3, 3), kav::kBarColour) << "the left end stays round";
    EXPECT_EQ(shot.Count(RECT{217, 0, 434, 15}, IsBar), 0);
}

TEST_F(ProgressControl, FullBarKeepsBothEndsRound) {
    const Capture shot = Show(100);
    EXPECT_EQ(shot.At(430, 7), kav::kBarColour);
    EXPECT_NE(shot.At(430, 3), kav::kBarColour);
    EXPECT_NE(shot.At(430, 11), kav::kBarColour);
    EXPECT_NE(shot.At(3, 3), kav::kBarColour);
    EXPECT_EQ(shot.Count(RECT{431, 0, 434, 15}, IsBar), 0);
}

TEST_F(ProgressControl, OnePercentIsFourSquarePixelsWide) {
    const Capture shot = Show(1);
    EXPECT_EQ(shot.Count(RECT{3, 3, 7, 12}, IsBar), 4 * 9);
    EXPECT_EQ(shot.Count(RECT{0, 0, 434, 15}, IsBar), 4 * 9);
}

class OutOfRange : public ProgressControl, public ::testing::WithParamInterface<int> {};

TEST_P(OutOfRange, ShowsTheTrackAlone) {
    const Capture shot = Show(GetParam());
    EXPECT_EQ(shot.Count(RECT{0, 0, 434, 15}, IsBar), 0);
    EXPECT_EQ(shot.At(0, 7), kav::kTrackOutline);
    EXPECT_EQ(shot.At(433, 7), kav::kTrackOutline);
    EXPECT_EQ(shot.At(217, 0), kav::kTrackOutline);
    EXPECT_EQ(shot.At(217, 14), kav::kTrackOutline);
    EXPECT_EQ(shot.At(217, 7), kWhite);
    EXPECT_EQ(shot.At(0, 0), kWhite) << "outside the round corner the control is white";
}

INSTANTIATE_TEST_SUITE_P(Toolkit, OutOfRange, ::testing::Values(0, -5, 101, 250));

}  // namespace
