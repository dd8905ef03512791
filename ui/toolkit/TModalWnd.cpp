#include "ui/toolkit/TModalWnd.h"

#include "ui/toolkit/SharedDrawing.h"

namespace {

// Distances of the base close cross from the top-right corner.
constexpr int kBaseCrossOuter = 20;
constexpr int kBaseCrossInner = 10;
constexpr UINT kTitleFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

}  // namespace

namespace kav {

POINT PointerInClient(HWND window) {
    POINT point = {};
    ::GetCursorPos(&point);
    ::ScreenToClient(window, &point);
    return point;
}

void Repaint(HWND window) { ::InvalidateRect(window, nullptr, FALSE); }

RECT DrawCloseCross(HDC dc, RECT rect, COLORREF colour) {
    kav::UniquePen pen(::CreatePen(PS_SOLID, 1, colour));
    {
        kav::ScopedSelectObject selectPen(dc, pen.Get());
        ::MoveToEx(dc, rect.left, rect.top, nullptr);
        ::LineTo(dc, rect.right + 1, rect.bottom + 1);
        ::MoveToEx(dc, rect.left, rect.bottom, nullptr);
        ::LineTo(dc, rect.right + 1, rect.top - 1);
    }
    ::InflateRect(&rect, 1, 1);
    return rect;
}

RECT BaseCloseCrossRect(int clientWidth) {
    return RECT{clientWidth - kBaseCrossOuter, kBaseCrossInner, clientWidth - kBaseCrossInner, kBaseCrossOuter};
}

void TrackMouseLeave(HWND window) {
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window;
    track.dwHoverTime = 0;
    ::TrackMouseEvent(&track);
}

}  // namespace kav

LRESULT TModalWnd::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            UpdateCaptionRect();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_MOUSEMOVE: {
            const POINT pointer = kav::PointerInClient(hwnd);
            kav::TrackMouseLeave(hwnd);
            closeHovered = ::PtInRect(&closeRect, pointer) != FALSE;
            kav::Repaint(hwnd);
            return 0;
        }
        case WM_LBUTTONDOWN:
            BeginDrag(wParam, lParam);
            return 0;
        case WM_LBUTTONUP: {
            const POINT pointer = kav::PointerInClient(hwnd);
            if (::PtInRect(&closeRect, pointer)) Close();
            return 0;
        }
        case WM_MOUSELEAVE:
            closeHovered = false;
            kav::Repaint(hwnd);
            return 0;
        default:
            return kNotHandled;
    }
}

void TModalWnd::DrawContent(TMemDC&) {}

void TModalWnd::Close() {
    running = false;
    ::DestroyWindow(hwnd);
}

void TModalWnd::UpdateCaptionRect() {
    ::GetClientRect(hwnd, &captionRect);
    captionRect.bottom = kav::kCaptionHeight;
}

void TModalWnd::BeginDrag(WPARAM wParam, LPARAM lParam) {
    const POINT pointer = kav::PointerInClient(hwnd);
    // Exactly MK_LBUTTON: the left button alone, without Shift, Ctrl or another button.
    if (wParam == MK_LBUTTON && !::PtInRect(&closeRect, pointer)) {
        ::PostMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
    }
}

void TModalWnd::FillFrameAndCaption(HDC dc, const RECT& client) const {
    kav::UniqueBrush whiteFill(::CreateSolidBrush(kav::kWhite));
    kav::UniqueBrush frame(::CreateSolidBrush(kav::kFrameColour));
    kav::UniqueBrush caption(::CreateSolidBrush(kav::kCaptionColour));
    ::FillRect(dc, &client, whiteFill.Get());
    ::FrameRect(dc, &client, frame.Get());
    ::FillRect(dc, &captionRect, caption.Get());
}

void TModalWnd::Paint() {
    TMemDC dc(hwnd);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    kav::ScopedSelectObject selectFont(dc.memDC, Font20);
    ::SetBkMode(dc.memDC, TRANSPARENT);

    FillFrameAndCaption(dc.memDC, client);

    if (backgroundBitmap) {
        kav::UniqueMemoryDc pictureDc(::CreateCompatibleDC(dc.memDC));
        kav::ScopedSelectObject selectPicture(pictureDc.Get(), backgroundBitmap.Get());
        ::BitBlt(dc.memDC, 0, 0, client.right, client.bottom, pictureDc.Get(), 0, 0, SRCCOPY);
    }

    closeRect = kav::DrawCloseCross(dc.memDC, kav::BaseCloseCrossRect(client.right),
                                    closeHovered ? kav::kCloseCrossLight : kav::kCloseCrossGrey);

    ::SetTextColor(dc.memDC, kav::kCaptionTextColour);
    ::DrawTextW(dc.memDC, title.c_str(), -1, &captionRect, kTitleFormat);

    DrawContent(dc);
}
