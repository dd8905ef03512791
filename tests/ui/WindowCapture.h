#pragma once
// What the UI tests need around a real window: message pumping, the painted pixels of a window's
// client area, pointer placement and PNG screenshots.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kavtest {

// The pixels of a client area as the window surface holds them, children included.
class Capture {
public:
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top row first

    COLORREF At(int x, int y) const;  // COLORREF 0x00BBGGRR; CLR_INVALID outside
    // Pixels of rect (client coordinates, right and bottom outside) for which test holds.
    template <typename Test>
    int Count(RECT rect, Test test) const {
        int n = 0;
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x)
                if (test(At(x, y))) ++n;
        return n;
    }
};

// Dispatches every waiting message of the thread, then keeps doing so for the given time.
void PumpMessages(DWORD milliseconds = 0);

// Repaints window and its children now, then captures the client area.
Capture PaintAndCapture(HWND window);

// Puts the pointer on a client point of window and lets the window see the move.
void HoverAt(HWND window, int x, int y);

// Writes the capture as a PNG file; false when the file cannot be written.
bool WritePng(const Capture& capture, const std::string& path);

// Colour tests.
inline int Red(COLORREF c) { return GetRValue(c); }
inline int Green(COLORREF c) { return GetGValue(c); }
inline int Blue(COLORREF c) { return GetBValue(c); }
inline bool IsLight(COLORREF c) { return Red(c) > 180 && Green(c) > 180 && Blue(c) > 180; }
inline bool IsDark(COLORREF c) { return Red(c) < 90 && Green(c) < 90 && Blue(c) < 90; }

// The shared fonts and brush for the life of a test program.
struct SharedDrawingScope {
    SharedDrawingScope();
    ~SharedDrawingScope();
};

}  // namespace kavtest
