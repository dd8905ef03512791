#include "ui/toolkit/TProcess.h"

#include "ui/toolkit/SharedDrawing.h"
#include "ui/toolkit/TMemDC.h"

namespace {

constexpr int kTrackCorner = 12;
constexpr int kBarInset = 3;
constexpr int kBarCorner = 5;
constexpr int kSquareOffWidth = 4;
constexpr std::int32_t kMinimumPosition = 1;
constexpr std::int32_t kMaximumPosition = 100;

}  // namespace

namespace kav {

ProgressBarShape ProgressBarShapeFor(RECT client, std::int32_t position) {
    ProgressBarShape shape;
    if (position < kMinimumPosition || position > kMaximumPosition) return shape;
    RECT inner = client;
    ::InflateRect(&inner, -kBarInset, -kBarInset);
    const double width = static_cast<double>(inner.right - inner.left);
    const int right = static_cast<int>(width * position / 100.0 + inner.left);
    shape.drawn = true;
    shape.bar = RECT{inner.left, inner.top, right, inner.bottom};
    if (right < inner.right) {
        shape.squared = true;
        shape.squareFill = RECT{right - kSquareOffWidth, inner.top, right, inner.bottom};
    }
    return shape;
}

}  // namespace kav

TProcess::TProcess()
    : barPen(::CreatePen(PS_SOLID, 1, kav::kBarColour)), barBrush(::CreateSolidBrush(kav::kBarColour)) {}

LRESULT TProcess::WndProc(UINT message, WPARAM, LPARAM) {
    if (message != WM_PAINT) return kNotHandled;
    Paint();
    return 0;
}

void TProcess::Paint() {
    TMemDC dc(hwnd);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    ::FillRect(dc.memDC, &client, WhiteBrush);

    kav::UniquePen trackPen(::CreatePen(PS_SOLID, 1, kav::kTrackOutline));
    {
        kav::ScopedSelectObject selectBrush(dc.memDC, WhiteBrush);
        kav::ScopedSelectObject selectPen(dc.memDC, trackPen.Get());
        ::RoundRect(dc.memDC, client.left, client.top, client.right, client.bottom, kTrackCorner, kTrackCorner);
    }

    const kav::ProgressBarShape shape = kav::ProgressBarShapeFor(client, position);
    if (shape.drawn) {
        kav::ScopedSelectObject selectPen(dc.memDC, barPen.Get());
        kav::ScopedSelectObject selectBrush(dc.memDC, barBrush.Get());
        ::RoundRect(dc.memDC, shape.bar.left, shape.bar.top, shape.bar.right, shape.bar.bottom, kBarCorner,
                    kBarCorner);
        if (shape.squared) ::FillRect(dc.memDC, &shape.squareFill, barBrush.Get());
    }
}
