#pragma once
// The borderless top-level window that the program runs modally. It draws a caption band and a
// close box, can be dragged by any free spot, follows the pointer for hover effects and paints
// double-buffered through TMemDC.
#include <windows.h>

#include <cstdint>
#include <string>

#include "system/Handles.h"
#include "ui/toolkit/TIxFrm.h"
#include "ui/toolkit/TMemDC.h"

class TModalWnd : public TIxFrm {
public:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Called once by the owner right after the window exists.
    virtual void CreateControls() = 0;
    // Called once by the owner after the window has been shown: gives it its size and place.
    virtual void PlaceWindow() = 0;
    // Called at the end of every paint with the off-screen context; draws over the base drawing.
    virtual void DrawContent(TMemDC& dc);
    // Ends the modal loop and destroys the window.
    virtual void Close();

    // captionRect = the client rectangle with its bottom at the caption height.
    void UpdateCaptionRect();
    // The base painting: white client, frame, caption band, background bitmap, close box, title.
    void Paint();
    // Moves the window like a caption press when the left button alone is down off the close box.
    void BeginDrag(WPARAM wParam, LPARAM lParam);

    std::wstring title;
    HWND parent = nullptr;
    kav::UniqueBitmap backgroundBitmap;  // copied over the client area when set
    RECT captionRect = {};
    RECT closeRect = {};  // hit area of the close box; empty until the first paint
    bool closeHovered = false;
    bool running = false;  // the modal loop continues while it is true
    std::int32_t closeCellSize = 25;  // side of the top-right cell of a derived window's close box

protected:
    TModalWnd() = default;
    ~TModalWnd() = default;

    // The start of every paint: white client, one-pixel frame, caption band.
    void FillFrameAndCaption(HDC dc, const RECT& client) const;
};

namespace kav {

constexpr int kCaptionHeight = 30;
constexpr COLORREF kFrameColour = 0x464646;        // RGB(70, 70, 70)
constexpr COLORREF kCaptionColour = 0x2D42DA;      // RGB(218, 66, 45)
constexpr COLORREF kCloseCrossLight = 0xE7E7E7;    // RGB(231, 231, 231)
constexpr COLORREF kCloseCrossGrey = 0x969696;     // RGB(150, 150, 150)
constexpr COLORREF kCaptionTextColour = 0xE7E7E7;

// The pointer position in the client coordinates of window: GetCursorPos, then ScreenToClient.
POINT PointerInClient(HWND window);

// Invalidates the whole window without erasing.
void Repaint(HWND window);

// Draws the close cross of rect with pen colour and returns its hit area (rect grown by one pixel
// on every side). The strokes run from (left, top) to (right + 1, bottom + 1) and from
// (left, bottom) to (right + 1, top - 1).
RECT DrawCloseCross(HDC dc, RECT rect, COLORREF colour);

// The cross of the base painting in a client area of the given width.
RECT BaseCloseCrossRect(int clientWidth);

// Asks for one WM_MOUSELEAVE when the pointer leaves window.
void TrackMouseLeave(HWND window);

}  // namespace kav
