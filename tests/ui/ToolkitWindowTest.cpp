// The toolkit's windows for real under Wine: message routing, the base painting of TModalWnd, its
// close box, dragging and the shared drawing objects.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "WindowCapture.h"
#include "ui/toolkit/SharedDrawing.h"
#include "ui/toolkit/TModalWnd.h"

namespace {

using kavtest::Capture;
using kavtest::HoverAt;
using kavtest::PaintAndCapture;
using kavtest::PumpMessages;

// A frame whose handler answers from a table (kNotHandled for anything else) and records what it saw.
class RecordingFrame : public TIxFrm {
public:
    LRESULT WndProc(UINT message, WPARAM, LPARAM) override {
        seen.push_back(message);
        if (message == WM_CREATE) hwndAtCreate = hwnd;
        const auto answer = answers.find(message);
        return answer == answers.end() ? kNotHandled : answer->second;
    }
    ~RecordingFrame() {
        if (hwnd != nullptr && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
    std::map<UINT, LRESULT> answers;
    std::vector<UINT> seen;
    HWND hwndAtCreate = nullptr;
};

constexpr wchar_t kFrameClass[] = L"KavTestFrame";
constexpr wchar_t kFrameText[] = L"Frame";

std::wstring WindowTextThroughMessage(HWND window, LRESULT* result) {
    wchar_t buffer[64] = L"untouched";
    *result = ::SendMessageW(window, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

struct RoutingCase {
    const char* name;
    LRESULT answer;          // what the object's WndProc returns for WM_GETTEXT
    LRESULT expectedResult;  // what the sender gets
    const wchar_t* expectedText;
};

class Routing : public ::testing::TestWithParam<RoutingCase> {};

TEST_P(Routing, MinusOneAlwaysReachesTheDefaultProcedure) {
    const RoutingCase& c = GetParam();
    RecordingFrame frame;
    ASSERT_NE(frame.Create(kFrameClass, nullptr, WS_POPUP, 0), nullptr);
    ::SetWindowTextW(frame.hwnd, kFrameText);  // WM_SETTEXT is left to DefWindowProcW, which keeps it
    frame.answers[WM_GETTEXT] = c.answer;
    LRESULT result = 0;
    const std::wstring text = WindowTextThroughMessage(frame.hwnd, &result);
    EXPECT_EQ(result, c.expectedResult);
    EXPECT_EQ(text, c.expectedText);
}

INSTANTIATE_TEST_SUITE_P(Toolkit, Routing,
                         ::testing::Values(RoutingCase{"NotHandled", kNotHandled, 5, L"Frame"},
                                           RoutingCase{"Zero", 0, 0, L"untouched"},
                                           RoutingCase{"OwnValue", 7, 7, L"untouched"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StaticWndProc, ObjectIsAttachedAtNcCreateAndEarlierMessagesGoToTheDefault) {
    RecordingFrame frame;
    // An overlapped window gets WM_GETMINMAXINFO before WM_NCCREATE; it must not stop the creation.
    const HWND window = frame.Create(kFrameClass, nullptr, WS_OVERLAPPEDWINDOW, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(frame.hwnd, window);
    EXPECT_EQ(frame.hwndAtCreate, window) << "hwnd is set before creation finishes";
    ASSERT_FALSE(frame.seen.empty());
    EXPECT_EQ(frame.seen.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(::GetWindowLongPtrW(window, 0), reinterpret_cast<LONG_PTR>(&frame));
}

TEST(StaticWndProc, WindowWithoutObjectIsHandledByTheDefault) {
    // A window of another class with zeroed extra bytes stands for a toolkit window before WM_NCCREATE.
    WNDCLASSEXW plain = {};
    plain.cbSize = sizeof plain;
    plain.lpfnWndProc = ::DefWindowProcW;
    plain.cbWndExtra = sizeof(void*);
    plain.hInstance = ::GetModuleHandleW(nullptr);
    plain.lpszClassName = L"KavTestPlain";
    ::RegisterClassExW(&plain);
    const HWND window = ::CreateWindowExW(0, L"KavTestPlain", kFrameText, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                          plain.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    wchar_t buffer[64] = {};
    EXPECT_EQ(StaticWndProc(window, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(buffer)), 5);
    EXPECT_STREQ(buffer, kFrameText);
    ::DestroyWindow(window);
}

TEST(StaticWndProc, SecondWindowOfAClassReusesItAndKeepsItsOwnObject) {
    RecordingFrame first;
    RecordingFrame second;
    ASSERT_NE(first.Create(kFrameClass, nullptr, WS_POPUP, 0), nullptr);
    ASSERT_NE(second.Create(kFrameClass, nullptr, WS_POPUP, 0), nullptr);
    first.seen.clear();
    second.seen.clear();
    ::SendMessageW(second.hwnd, WM_USER + 5, 0, 0);
    EXPECT_EQ(std::count(second.seen.begin(), second.seen.end(), WM_USER + 5), 1);
    EXPECT_EQ(std::count(first.seen.begin(), first.seen.end(), WM_USER + 5), 0);
}

// Answers WM_GETTEXT with 0 itself and leaves everything else to the default; keeps its window.
class SilentFrame : public TIxFrm {
public:
    LRESULT WndProc(UINT message, WPARAM, LPARAM) override { return message == WM_GETTEXT ? 0 : kNotHandled; }
};

TEST(StaticWndProc, WindowThatOutlivesItsObjectFallsBackToTheDefault) {
    auto frame = std::make_unique<SilentFrame>();
    const HWND window = frame->Create(kFrameClass, nullptr, WS_POPUP, 0);
    ASSERT_NE(window, nullptr);
    ::SetWindowTextW(window, kFrameText);
    LRESULT result = 0;
    EXPECT_EQ(WindowTextThroughMessage(window, &result), L"untouched") << "the object answers while it lives";
    frame.reset();
    EXPECT_EQ(::GetWindowLongPtrW(window, 0), 0);
    EXPECT_EQ(WindowTextThroughMessage(window, &result), kFrameText);
    EXPECT_EQ(result, 5);
    ::DestroyWindow(window);
}

// A modal window as the dialog uses it, recording the drag requests instead of entering the
// system's move loop.
class TestModal : public TModalWnd {
public:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back(message);
        if (message == WM_NCLBUTTONDOWN) {
            drags.push_back({wParam, lParam});
            return 0;
        }
        return TModalWnd::WndProc(message, wParam, lParam);
    }
    void CreateControls() override {}
    void PlaceWindow() override {}
    ~TestModal() {
        if (hwnd != nullptr && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
    std::vector<std::pair<WPARAM, LPARAM>> drags;
    std::vector<UINT> seen;
};

constexpr int kModalWidth = 300;
constexpr int kModalHeight = 200;

class ModalWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window.title = L"Caption";
        ASSERT_NE(window.Create(L"TModalWnd", nullptr, WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOPMOST), nullptr);
        window.running = true;
        ::ShowWindow(window.hwnd, SW_SHOWNA);
        ::MoveWindow(window.hwnd, 100, 100, kModalWidth, kModalHeight, TRUE);
        first = PaintAndCapture(window.hwnd);
        window.drags.clear();
    }
    void TearDown() override { HoverAt(window.hwnd, -50, -50); }

    kavtest::SharedDrawingScope drawing;
    TestModal window;
    Capture first;
};

TEST_F(ModalWindow, BasePaintingDrawsFrameCaptionCrossAndTitle) {
    EXPECT_EQ(window.captionRect.bottom, 30);
    EXPECT_EQ(window.captionRect.right, kModalWidth);
    EXPECT_EQ(first.At(150, 100), 0xFFFFFFu);
    EXPECT_EQ(first.At(0, 100), kav::kFrameColour);
    EXPECT_EQ(first.At(kModalWidth - 1, 100), kav::kFrameColour);
    EXPECT_EQ(first.At(150, kModalHeight - 1), kav::kFrameColour);
    EXPECT_EQ(first.At(3, 15), kav::kCaptionColour);
    // The cross of (280, 10, 290, 20), grey at rest; both strokes end on the rectangle's corners.
    for (POINT p : {POINT{285, 15}, POINT{280, 10}, POINT{290, 20}, POINT{280, 20}, POINT{290, 10}})
        EXPECT_EQ(first.At(p.x, p.y), kav::kCloseCrossGrey) << p.x << "," << p.y;
    EXPECT_EQ(first.At(285, 12), kav::kCaptionColour);
    const int titlePixels =
        first.Count(RECT{100, 0, 200, 30}, [](COLORREF c) { return kavtest::IsLight(c); });
    EXPECT_GT(titlePixels, 20) << "the title is drawn light in the caption band";
}

TEST_F(ModalWindow, CloseHitAreaIsTheCrossGrownByOnePixel) {
    const RECT expected = {kModalWidth - 21, 9, kModalWidth - 9, 21};
    EXPECT_TRUE(::EqualRect(&window.closeRect, &expected));
}

TEST_F(ModalWindow, HoveringTheCloseBoxLightensTheCross) {
    struct Probe {
        POINT at;
        bool hovered;
    };
    for (const Probe& probe : {Probe{{279, 9}, true}, Probe{{290, 20}, true}, Probe{{285, 15}, true},
                               Probe{{291, 21}, false}, Probe{{278, 15}, false}, Probe{{285, 21}, false}}) {
        HoverAt(window.hwnd, probe.at.x, probe.at.y);
        EXPECT_EQ(window.closeHovered, probe.hovered) << probe.at.x << "," << probe.at.y;
        const Capture shot = PaintAndCapture(window.hwnd);
        EXPECT_EQ(shot.At(285, 15), probe.hovered ? kav::kCloseCrossLight : kav::kCloseCrossGrey);
    }
    HoverAt(window.hwnd, 285, 15);
    ::SendMessageW(window.hwnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(window.closeHovered);
    EXPECT_EQ(PaintAndCapture(window.hwnd).At(285, 15), kav::kCloseCrossGrey);
}

TEST_F(ModalWindow, BackgroundBitmapCoversTheClientArea) {
    const HDC screen = ::GetDC(nullptr);
    kav::UniqueBitmap picture(::CreateCompatibleBitmap(screen, kModalWidth, kModalHeight));
    {
        kav::UniqueMemoryDc dc(::CreateCompatibleDC(screen));
        kav::ScopedSelectObject select(dc.Get(), picture.Get());
        kav::UniqueBrush green(::CreateSolidBrush(RGB(0, 128, 0)));
        RECT all = {0, 0, kModalWidth, kModalHeight};
        ::FillRect(dc.Get(), &all, green.Get());
    }
    ::ReleaseDC(nullptr, screen);
    window.backgroundBitmap = std::move(picture);
    const Capture shot = PaintAndCapture(window.hwnd);
    EXPECT_EQ(shot.At(150, 100), RGB(0, 128, 0));
    EXPECT_EQ(shot.At(3, 15), RGB(0, 128, 0)) << "the picture covers the caption band too";
    EXPECT_EQ(shot.At(285, 15), kav::kCloseCrossGrey) << "the cross is drawn over the picture";
}

struct DragCase {
    const char* name;
    WPARAM keys;
    POINT at;
    bool drags;
};

class Dragging : public ModalWindow, public ::testing::WithParamInterface<DragCase> {};

TEST_P(Dragging, OnlyTheLeftButtonAloneOffTheCloseBoxDrags) {
    const DragCase& c = GetParam();
    HoverAt(window.hwnd, c.at.x, c.at.y);
    const LPARAM where = MAKELPARAM(c.at.x, c.at.y);
    ::SendMessageW(window.hwnd, WM_LBUTTONDOWN, c.keys, where);
    PumpMessages(30);
    if (c.drags) {
        ASSERT_EQ(window.drags.size(), 1u);
        EXPECT_EQ(window.drags[0].first, static_cast<WPARAM>(HTCAPTION));
        EXPECT_EQ(window.drags[0].second, where);
    } else {
        EXPECT_TRUE(window.drags.empty());
    }
    EXPECT_TRUE(::IsWindow(window.hwnd)) << "a press never closes";
}

INSTANTIATE_TEST_SUITE_P(
    Toolkit, Dragging,
    ::testing::Values(DragCase{"FreeSpot", MK_LBUTTON, {150, 100}, true},
                      DragCase{"CaptionBand", MK_LBUTTON, {40, 15}, true},
                      DragCase{"WithShift", MK_LBUTTON | MK_SHIFT, {150, 100}, false},
                      DragCase{"WithCtrl", MK_LBUTTON | MK_CONTROL, {150, 100}, false},
                      DragCase{"WithRightButton", MK_LBUTTON | MK_RBUTTON, {150, 100}, false},
                      DragCase{"OnCloseCross", MK_LBUTTON, {285, 15}, false},
                      DragCase{"OnCloseHitEdge", MK_LBUTTON, {279, 9}, false},
                      DragCase{"JustLeftOfCloseBox", MK_LBUTTON, {278, 15}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModalWindow, ReleaseOverTheCloseBoxClosesWhateverThePress) {
    HoverAt(window.hwnd, 150, 100);
    ::SendMessageW(window.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(150, 100));
    EXPECT_TRUE(window.running);
    EXPECT_TRUE(::IsWindow(window.hwnd)) << "a release off the close box does nothing";

    ::SendMessageW(window.hwnd, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(150, 100));
    HoverAt(window.hwnd, 285, 15);
    const HWND handle = window.hwnd;
    ::SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(285, 15));
    EXPECT_FALSE(window.running);
    EXPECT_FALSE(::IsWindow(handle));
}

TEST_F(ModalWindow, SecondPressOfADoubleClickDoesNotDrag) {
    POINT target = {150, 100};
    ::ClientToScreen(window.hwnd, &target);
    ::SetCursorPos(target.x, target.y);
    PumpMessages(50);
    window.seen.clear();
    INPUT clicks[4] = {};
    const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 4; ++i) {
        clicks[i].type = INPUT_MOUSE;
        clicks[i].mi.dwFlags = flags[i];
    }
    ASSERT_EQ(::SendInput(4, clicks, sizeof(INPUT)), 4u);
    PumpMessages(300);
    const auto count = [&](UINT m) { return std::count(window.seen.begin(), window.seen.end(), m); };
    EXPECT_EQ(count(WM_LBUTTONDOWN), 1);
    EXPECT_EQ(count(WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(window.drags.size(), 1u) << "only the first press drags";
}

struct FontCase {
    HFONT* font;
    LONG height;
};

TEST(SharedDrawingObjects, AreMadeAsTheProgramDrawsWithThem) {
    CreateSharedDrawingObjects();
    LOGBRUSH brush = {};
    ASSERT_EQ(::GetObjectW(WhiteBrush, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(brush.lbColor, 0xFFFFFFu);
    for (const FontCase& c : {FontCase{&Font18, 18}, FontCase{&Font20, 20}, FontCase{&Font22, 22},
                              FontCase{&Font27, 27}}) {
        LOGFONTW font = {};
        ASSERT_EQ(::GetObjectW(*c.font, sizeof font, &font), static_cast<int>(sizeof font));
        EXPECT_EQ(font.lfHeight, c.height);
        EXPECT_EQ(font.lfWidth, 0);
        EXPECT_EQ(font.lfWeight, FW_DONTCARE);
        EXPECT_EQ(font.lfItalic | font.lfUnderline | font.lfStrikeOut, 0);
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
        EXPECT_EQ(font.lfOutPrecision, OUT_OUTLINE_PRECIS);
        EXPECT_EQ(font.lfClipPrecision, CLIP_DEFAULT_PRECIS);
        EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
        EXPECT_EQ(font.lfPitchAndFamily, VARIABLE_PITCH);
        EXPECT_STREQ(font.lfFaceName, L"Microsoft Yahei");
    }
    DeleteSharedDrawingObjects();
    EXPECT_EQ(WhiteBrush, nullptr);
    EXPECT_EQ(Font27, nullptr);
}

}  // namespace
