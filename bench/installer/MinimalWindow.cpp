// The start-up benchmark's peer: the least a Win32 program does to put one painted window on the
// screen. A popup of the installer dialog's size and style, centred on the primary screen, shown
// active, filled with one colour in its first WM_PAINT; it closes itself a while after that paint.
#include <windows.h>

#include "system/Handles.h"

namespace {

constexpr wchar_t kClassName[] = L"KavrindelMinimalWindow";
constexpr int kWidth = 500;
constexpr int kHeight = 310;
constexpr COLORREF kFill = RGB(0, 160, 80);  // bench/installer/measure.py looks for this colour
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kCloseAfterPaintMs = 1000;

kav::UniqueBrush g_fill;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = ::BeginPaint(window, &paint);
            RECT client = {};
            ::GetClientRect(window, &client);
            ::FillRect(dc, &client, g_fill.Get());
            ::EndPaint(window, &paint);
            ::SetTimer(window, kCloseTimer, kCloseAfterPaintMs, nullptr);
            return 0;
        }
        case WM_TIMER:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    g_fill.Reset(::CreateSolidBrush(kFill));
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExW(&windowClass);

    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    const HWND window = ::CreateWindowExW(WS_EX_TOPMOST, kClassName, nullptr, WS_POPUP | WS_CLIPCHILDREN, x, y,
                                          kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
