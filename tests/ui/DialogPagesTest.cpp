// The installer dialog's pages as the real window paints them, probed pixel by pixel, in the UI
// language of the run (ctest runs this once per language). Every page is also written as a PNG
// into the build folder's screenshots folder for people to look at.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "TestSupport.h"
#include "WindowCapture.h"
#include "app/InstallSettings.h"
#include "app/LocalizedTexts.h"
#include "cloud/OssAccountSettings.h"
#include "cloud/OssSdk.h"
#include "engine/WorkerMessages.h"
#include "resources/ResourceIds.h"
#include "ui/dialog/DialogLayout.h"
#include "ui/dialog/TKavrindelDlg.h"
#include "ui/toolkit/ArtworkBitmap.h"
#include "ui/toolkit/SharedDrawing.h"

namespace {

using kavtest::Capture;
using kavtest::HoverAt;
using kavtest::IsLight;
using kavtest::PaintAndCapture;

constexpr POINT kCrossCentre = {488, 12};
constexpr POINT kButtonFillProbe = {205, 220};
constexpr POINT kButtonOutlineProbe = {250, 202};
constexpr POINT kPathBoxFillProbe = {300, 157};
constexpr POINT kPathBoxOutlineProbe = {300, 155};
constexpr POINT kBrowseFillProbe = {423, 157};
constexpr RECT kButtonInside = {201, 203, 299, 237};

// The dialog of the whole run, made the way the entry point makes it.
class DialogEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        SelectUiLanguage();
        CreateSharedDrawingObjects();
        static TKavrindelDlg instance;  // lives to the end of the program, like the entry point's
        dialog = &instance;
        dialog->Create(kav::kDialogClassName, nullptr, kav::kDialogStyle, kav::kDialogExStyle);
        dialog->CreateControls();
        dialog->PrepareInstall();
        dialog->running = true;
        ::ShowWindow(dialog->hwnd, SW_SHOWNA);
        ::SetCursorPos(640, 512);
        dialog->PlaceWindow();
        kavtest::PumpMessages(100);
        originalInstallDir = GetInstallSettings().installDir;
    }
    void TearDown() override {
        if (::IsWindow(dialog->hwnd)) ::DestroyWindow(dialog->hwnd);
        DeleteSharedDrawingObjects();
    }
    static TKavrindelDlg* dialog;
    static std::string originalInstallDir;
};
TKavrindelDlg* DialogEnvironment::dialog = nullptr;
std::string DialogEnvironment::originalInstallDir;

// The colour of a pixel of a background picture of the program.
COLORREF PicturePixel(int id, int x, int y) {
    kav::UniqueBitmap picture(kav::LoadArtworkBitmap(::GetModuleHandleW(nullptr), id));
    kav::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    kav::ScopedSelectObject select(dc.Get(), picture.Get());
    return ::GetPixel(dc.Get(), x, y);
}

// Pixels of rect that differ from the background picture.
int DrawnOver(const Capture& shot, int picture, RECT rect) {
    kav::UniqueBitmap bitmap(kav::LoadArtworkBitmap(::GetModuleHandleW(nullptr), picture));
    kav::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    kav::ScopedSelectObject select(dc.Get(), bitmap.Get());
    int n = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (shot.At(x, y) != ::GetPixel(dc.Get(), x, y)) ++n;
    return n;
}

std::string LanguageTag() {
    const std::string lang = kavtest::Env("LANG");
    return lang.empty() ? "default" : lang.substr(0, lang.find('.'));
}

void SaveScreenshot(const Capture& shot, const std::string& page) {
    const std::string folder = kavtest::BinaryDir() + "\\screenshots";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + "\\" + LanguageTag() + "-" + page + ".png";
    EXPECT_TRUE(kavtest::WritePng(shot, path)) << path;
}

bool IsBlackText(COLORREF c) { return kavtest::Red(c) < 110 && kavtest::Green(c) < 110 && kavtest::Blue(c) < 110; }
bool IsWhiteText(COLORREF c) { return kavtest::Red(c) > 240 && kavtest::Green(c) > 240 && kavtest::Blue(c) > 240; }

// The columns (first and last) in which rect has pixels that pass test; -1 when none.
template <typename Test>
std::pair<int, int> ColumnSpan(const Capture& shot, RECT rect, Test test) {
    int first = -1, last = -1;
    for (int x = rect.left; x < rect.right; ++x)
        for (int y = rect.top; y < rect.bottom; ++y)
            if (test(shot.At(x, y))) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

class DialogPages : public ::testing::Test {
protected:
    void SetUp() override {
        dlg = DialogEnvironment::dialog;
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(::IsWindow(dlg->hwnd));
        ::SetCursorPos(0, 0);
        kavtest::PumpMessages(20);
        GetInstallSettings().installDir = DialogEnvironment::originalInstallDir;
        dlg->buttonHovered = dlg->browseHovered = dlg->closeHovered = false;
        dlg->statusText.clear();
        dlg->progress->position = 0;
    }
    void TearDown() override {
        ::SetCursorPos(0, 0);
        kavtest::PumpMessages(20);
    }

    // Puts the dialog on a page the way the install's messages do.
    Capture ShowPage(DialogState state, bool panelHidden) {
        dlg->state = state;
        dlg->customPanelHidden = panelHidden;
        if (state == Installing || state == Failed) {
            ::ShowWindow(dlg->progress->hwnd, SW_SHOWNA);
            ::MoveWindow(dlg->progress->hwnd, kav::kProgressLeft, kav::kProgressTop, kav::kProgressWidth,
                         kav::kProgressHeight, FALSE);
        } else if (state == Finished) {
            ::ShowWindow(dlg->progress->hwnd, SW_HIDE);
        } else {
            ::ShowWindow(dlg->progress->hwnd, SW_SHOWNA);
            ::MoveWindow(dlg->progress->hwnd, 0, 0, 0, 0, FALSE);
        }
        ::InvalidateRect(dlg->progress->hwnd, nullptr, FALSE);
        return PaintAndCapture(dlg->hwnd);
    }

    TKavrindelDlg* dlg = nullptr;
};

TEST_F(DialogPages, ControlsAndClientAreSetUpAndTheWindowIsPlaced) {
    RECT window = {};
    ::GetWindowRect(dlg->hwnd, &window);
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(window.left, (screenWidth - 500) / 2);
    EXPECT_EQ(window.top, (screenHeight - 310) / 2);
    EXPECT_EQ(window.right - window.left, 500);
    EXPECT_EQ(window.bottom - window.top, 310);

    struct Expected {
        const RECT* actual;
        RECT rect;
    };
    for (const Expected& e : {Expected{&dlg->captionRect, {0, 0, 500, 30}}, Expected{&dlg->buttonRect, {200, 202, 300, 238}},
                              Expected{&dlg->titleRect, {200, 142, 300, 178}}, Expected{&dlg->customRect, {400, 290, 495, 310}},
                              Expected{&dlg->browseRect, {420, 155, 470, 180}}, Expected{&dlg->statusRect, {32, 234, 466, 254}},
                              Expected{&dlg->bannerRect, {181, 96, 461, 123}}}) {
        EXPECT_TRUE(::EqualRect(e.actual, &e.rect)) << e.rect.left << "," << e.rect.top;
    }
    wchar_t text[32] = {};
    ::GetWindowTextW(dlg->hwnd, text, 32);
    EXPECT_STREQ(text, L"Kavrindel");
    EXPECT_EQ(MainWindowHandle, dlg->hwnd);
    EXPECT_NE(::SendMessageW(dlg->hwnd, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageW(dlg->hwnd, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(::GetParent(dlg->progress->hwnd), dlg->hwnd);
    EXPECT_FALSE(GetInstallSettings().installDir.empty()) << "the install folders are derived";

    // The client part: the account of this build and the storage client on it.
    EXPECT_EQ(dlg->endpoint, kav::kOssEndpoint);
    EXPECT_EQ(dlg->bucketName, kav::kOssBucket);
    EXPECT_EQ(dlg->accessKeyId.size(), 24u);
    EXPECT_EQ(dlg->accessKeySecret.size(), 30u);
    EXPECT_TRUE(kav::oss::IsSdkInitialized());
    EXPECT_NE(dlg->ossClient, nullptr);
}

TEST_F(DialogPages, ReadyWithThePanelHidden) {
    const Capture shot = ShowPage(Ready, true);
    SaveScreenshot(shot, "ready");
    EXPECT_EQ(shot.At(10, 100), PicturePixel(IDB_BACKGROUND_READY, 10, 100));
    EXPECT_EQ(shot.At(kCrossCentre.x, kCrossCentre.y), kav::kCloseCrossLight);
    EXPECT_EQ(shot.At(484, 8), kav::kCloseCrossLight);
    EXPECT_EQ(shot.At(484, 16), kav::kCloseCrossLight);
    RECT hitArea = {483, 7, 493, 17};
    EXPECT_TRUE(::EqualRect(&dlg->closeRect, &hitArea));
    EXPECT_GT(shot.Count(dlg->titleRect, IsLight), 30) << "the package code stands under the logo";
    EXPECT_EQ(shot.At(kButtonFillProbe.x, kButtonFillProbe.y), kav::kButtonFill);
    EXPECT_EQ(shot.At(kButtonOutlineProbe.x, kButtonOutlineProbe.y), kav::kButtonOutline);
    EXPECT_GT(shot.Count(kButtonInside, IsLight), 20) << "the Install label";
    EXPECT_GT(DrawnOver(shot, IDB_BACKGROUND_READY, dlg->customRect), 20) << "the Custom link";
    EXPECT_EQ(DrawnOver(shot, IDB_BACKGROUND_READY, RECT{40, 155, 199, 180}), 0) << "no path label or box";
    EXPECT_EQ(DrawnOver(shot, IDB_BACKGROUND_READY, RECT{301, 155, 470, 180}), 0) << "no path box or Browse";
}

TEST_F(DialogPages, ReadyWithThePanelShown) {
    GetInstallSettings().installDir = "C:\\K";  // short, so that the box right of it shows bare fill
    const Capture shot = ShowPage(Ready, false);
    SaveScreenshot(shot, "ready-panel");
    EXPECT_GT(shot.Count(RECT{40, 155, 110, 180}, IsLight), 10) << "the path label";
    EXPECT_EQ(shot.At(kPathBoxFillProbe.x, kPathBoxFillProbe.y), kav::kButtonFill);
    EXPECT_EQ(shot.At(kPathBoxOutlineProbe.x, kPathBoxOutlineProbe.y), kav::kButtonOutline);
    EXPECT_GT(shot.Count(RECT{112, 157, 160, 178}, IsLight), 10) << "the install folder";
    EXPECT_EQ(shot.Count(RECT{200, 156, 300, 179}, [](COLORREF c) { return c != kav::kButtonFill; }), 0)
        << "no package code title with the panel shown";
    EXPECT_EQ(shot.At(kBrowseFillProbe.x, kBrowseFillProbe.y), kav::kButtonFill);
    EXPECT_GT(shot.Count(RECT{421, 156, 469, 179}, IsLight), 10) << "the Browse label";
    EXPECT_EQ(shot.At(kButtonFillProbe.x, kButtonFillProbe.y), kav::kButtonFill);
    EXPECT_GT(DrawnOver(shot, IDB_BACKGROUND_READY, dlg->customRect), 20) << "the Custom link stays";
}

TEST_F(DialogPages, LongInstallFolderEndsInAnEllipsisInsideThePathBox) {
    GetInstallSettings().installDir =
        "C:\\Users\\Administrator\\AppData\\Local\\Programs\\Trading\\Workspaces\\MMMMMMMMMMMMMMMM\\"
        "KAvrindel201805v9.5";
    const Capture shot = ShowPage(Ready, false);
    SaveScreenshot(shot, "ready-panel-long-path");
    const RECT text = {112, 156, 420, 179};
    const auto [first, last] = ColumnSpan(shot, text, IsLight);
    ASSERT_GE(first, 112);
    EXPECT_LT(last, 418) << "the text stays inside the path box";
    EXPECT_GT(last, 380) << "the long text fills the box";
    // The last few columns hold the dots of the ellipsis: light pixels only near the baseline,
    // where a cut-off letter M would reach up to the top of the line.
    int top = 179, bottom = 156;
    for (int x = last - 3; x <= last; ++x)
        for (int y = text.top; y < text.bottom; ++y)
            if (IsLight(shot.At(x, y))) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_LE(bottom - top, 3) << "rows " << top << " to " << bottom;
}

TEST_F(DialogPages, InstallingAt37) {
    dlg->statusText = StepText(StepDownloadBase);
    dlg->progress->position = 37;
    const Capture shot = ShowPage(Installing, true);
    SaveScreenshot(shot, "installing-37");
    EXPECT_EQ(shot.At(kCrossCentre.x, kCrossCentre.y), PicturePixel(IDB_BACKGROUND_INSTALL, 488, 12))
        << "no close cross while installing";
    EXPECT_EQ(DrawnOver(shot, IDB_BACKGROUND_INSTALL, RECT{480, 4, 497, 20}), 0);
    EXPECT_EQ(shot.At(10, 100), PicturePixel(IDB_BACKGROUND_INSTALL, 10, 100));
    // Step text on the left, the percentage on the right of the white band.
    EXPECT_GT(shot.Count(RECT{32, 234, 120, 254}, IsBlackText), 10);
    const auto [first, last] = ColumnSpan(shot, RECT{390, 234, 466, 254}, IsBlackText);
    EXPECT_GE(last, 455) << "37% ends at the right of the status line";
    EXPECT_GT(first, 410) << "37% is short";
    EXPECT_GT(shot.Count(dlg->bannerRect, IsWhiteText), 40) << "the installing banner";
    // The bar at 34,260: 37 % of the inner 428 pixels ends at 3 + 158 = 161.
    EXPECT_EQ(shot.At(34 + 100, 267), kav::kBarColour);
    EXPECT_EQ(shot.At(34 + 160, 263), kav::kBarColour);
    EXPECT_EQ(shot.At(34 + 161, 267), 0xFFFFFFu);
    EXPECT_EQ(shot.At(34, 267), kav::kTrackOutline);
    EXPECT_EQ(shot.At(34 + 433, 267), kav::kTrackOutline);
}

TEST_F(DialogPages, PercentageFollowsThePositionUnclamped) {
    const RECT percentArea = {300, 234, 466, 254};
    dlg->progress->position = 37;
    const int startOf37 = ColumnSpan(ShowPage(Installing, true), percentArea, IsBlackText).first;
    dlg->progress->position = 250;
    const Capture shot = ShowPage(Installing, true);
    SaveScreenshot(shot, "installing-250");
    EXPECT_EQ(shot.Count(RECT{34, 260, 468, 275}, [](COLORREF c) { return c == kav::kBarColour; }), 0)
        << "an empty track beside 250%";
    const auto [first, last] = ColumnSpan(shot, percentArea, IsBlackText);
    EXPECT_GE(last, 455);
    EXPECT_LT(first, startOf37 - 5) << "250% is one digit wider than 37%";
}

TEST_F(DialogPages, Failed) {
    dlg->statusText = std::wstring(StepText(StepDownloadConfig)) + DialogText(6);
    dlg->progress->position = 48;
    const Capture shot = ShowPage(Failed, true);
    SaveScreenshot(shot, "failed");
    EXPECT_EQ(shot.At(kCrossCentre.x, kCrossCentre.y), kav::kCloseCrossLight);
    const auto [first, last] = ColumnSpan(shot, dlg->statusRect, IsBlackText);
    EXPECT_GE(last, 455) << "the failure text is right-aligned";
    EXPECT_GT(first, 32 + 20) << "and shorter than the line";
    EXPECT_EQ(shot.Count(RECT{32, 234, 466, 254}, IsWhiteText) > 0, true);
    EXPECT_EQ(shot.Count(dlg->bannerRect, IsWhiteText), 0) << "no banner on the failure page";
    EXPECT_EQ(shot.At(34 + 100, 267), kav::kBarColour) << "the bar stays as it was left";
}

TEST_F(DialogPages, FinishedEvenAfterThePanelWasShown) {
    const Capture shot = ShowPage(Finished, false);
    SaveScreenshot(shot, "finished");
    EXPECT_EQ(shot.At(10, 100), PicturePixel(IDB_BACKGROUND_READY, 10, 100));
    EXPECT_EQ(shot.At(kCrossCentre.x, kCrossCentre.y), kav::kCloseCrossLight);
    EXPECT_GT(shot.Count(dlg->titleRect, IsLight), 30) << "the package code title";
    EXPECT_EQ(shot.At(kButtonFillProbe.x, kButtonFillProbe.y), kav::kButtonFill);
    EXPECT_GT(shot.Count(kButtonInside, IsLight), 20) << "the Open label";
    EXPECT_EQ(DrawnOver(shot, IDB_BACKGROUND_READY, dlg->customRect), 0) << "no Custom link";
    EXPECT_EQ(DrawnOver(shot, IDB_BACKGROUND_READY, RECT{40, 155, 199, 180}), 0) << "no path label or box";
    EXPECT_EQ(DrawnOver(shot, IDB_BACKGROUND_READY, RECT{420, 155, 470, 180}), 0) << "no Browse";
    EXPECT_EQ(DrawnOver(shot, IDB_BACKGROUND_READY, RECT{34, 260, 468, 275}), 0) << "no progress bar";

    // The Open label is another text than Install.
    const Capture ready = ShowPage(Ready, true);
    int differing = 0;
    for (int y = kButtonInside.top; y < kButtonInside.bottom; ++y)
        for (int x = kButtonInside.left; x < kButtonInside.right; ++x)
            if (IsLight(ready.At(x, y)) != IsLight(shot.At(x, y))) ++differing;
    EXPECT_GT(differing, 20);
}

TEST_F(DialogPages, HoveringTheMainButtonDarkensItAndLowersTheLabel) {
    const Capture rest = ShowPage(Ready, true);
    HoverAt(dlg->hwnd, kButtonFillProbe.x, kButtonFillProbe.y);
    ASSERT_TRUE(dlg->buttonHovered);
    const Capture hovered = PaintAndCapture(dlg->hwnd);
    SaveScreenshot(hovered, "ready-button-hover");
    EXPECT_EQ(hovered.At(kButtonFillProbe.x, kButtonFillProbe.y), kav::kButtonHoverFill);
    EXPECT_EQ(hovered.At(kButtonOutlineProbe.x, kButtonOutlineProbe.y), kav::kButtonOutline);
    int lightAtRest = 0, matching = 0;
    for (int y = kButtonInside.top; y < kButtonInside.bottom - 1; ++y)
        for (int x = kButtonInside.left; x < kButtonInside.right; ++x)
            if (IsLight(rest.At(x, y))) {
                ++lightAtRest;
                if (IsLight(hovered.At(x, y + 1))) ++matching;
            }
    ASSERT_GT(lightAtRest, 20);
    EXPECT_EQ(matching, lightAtRest) << "the label moved down by exactly one pixel";
    int unshifted = 0;
    for (int y = kButtonInside.top; y < kButtonInside.bottom; ++y)
        for (int x = kButtonInside.left; x < kButtonInside.right; ++x)
            if (IsLight(rest.At(x, y)) != IsLight(hovered.At(x, y))) ++unshifted;
    EXPECT_GT(unshifted, 0);

    ::SendMessageW(dlg->hwnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(dlg->buttonHovered);
    EXPECT_EQ(PaintAndCapture(dlg->hwnd).At(kButtonFillProbe.x, kButtonFillProbe.y), kav::kButtonFill);
}

TEST_F(DialogPages, HoveringBrowseDarkensItOnlyWhereItIsDrawn) {
    GetInstallSettings().installDir = "C:\\K";
    ShowPage(Ready, false);
    HoverAt(dlg->hwnd, kBrowseFillProbe.x, kBrowseFillProbe.y);
    ASSERT_TRUE(dlg->browseHovered);
    const Capture hovered = PaintAndCapture(dlg->hwnd);
    SaveScreenshot(hovered, "ready-panel-browse-hover");
    EXPECT_EQ(hovered.At(kBrowseFillProbe.x, kBrowseFillProbe.y), kav::kButtonHoverFill);
    EXPECT_EQ(hovered.At(kPathBoxFillProbe.x, kPathBoxFillProbe.y), kav::kButtonFill) << "the path box keeps its fill";
    EXPECT_EQ(hovered.At(kButtonFillProbe.x, kButtonFillProbe.y), kav::kButtonFill);

    dlg->customPanelHidden = true;
    const Capture hidden = PaintAndCapture(dlg->hwnd);
    EXPECT_TRUE(dlg->browseHovered) << "hover follows the rectangle whatever the page";
    EXPECT_EQ(DrawnOver(hidden, IDB_BACKGROUND_READY, RECT{420, 155, 470, 180}), 0);
}

TEST_F(DialogPages, HoveringTheCloseBoxTurnsTheCrossGrey) {
    ShowPage(Ready, true);
    struct Probe {
        POINT at;
        bool hovered;
    };
    for (const Probe& probe : {Probe{{483, 7}, true}, Probe{{492, 16}, true}, Probe{{488, 12}, true},
                               Probe{{493, 17}, false}, Probe{{482, 12}, false}, Probe{{488, 17}, false}}) {
        HoverAt(dlg->hwnd, probe.at.x, probe.at.y);
        EXPECT_EQ(dlg->closeHovered, probe.hovered) << probe.at.x << "," << probe.at.y;
        const Capture shot = PaintAndCapture(dlg->hwnd);
        EXPECT_EQ(shot.At(kCrossCentre.x, kCrossCentre.y),
                  probe.hovered ? kav::kCloseCrossGrey : kav::kCloseCrossLight);
        if (probe.hovered && probe.at.x == 488) SaveScreenshot(shot, "ready-close-hover");
    }
    HoverAt(dlg->hwnd, 488, 12);
    ::SendMessageW(dlg->hwnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_TRUE(dlg->closeHovered) << "leaving keeps the close box's hover until the next move";
}

TEST_F(DialogPages, CloseHitAreaKeepsItsLastValueWhileInstalling) {
    ShowPage(Ready, true);
    const RECT before = dlg->closeRect;
    dlg->closeRect = RECT{1, 2, 3, 4};
    ShowPage(Installing, true);
    const RECT kept = {1, 2, 3, 4};
    EXPECT_TRUE(::EqualRect(&dlg->closeRect, &kept));
    ShowPage(Failed, true);
    EXPECT_TRUE(::EqualRect(&dlg->closeRect, &before));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new DialogEnvironment);
    return RUN_ALL_TESTS();
}
