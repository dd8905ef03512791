#pragma once
// The owner-drawn progress bar: a rounded bar for a value from 1 to 100 inside a rounded white
// track. It has no text; its owner writes position and invalidates it.
#include <windows.h>

#include <cstdint>

#include "system/Handles.h"
#include "ui/toolkit/TIxFrm.h"

class TProcess : public TIxFrm {
public:
    TProcess();
    ~TProcess() = default;

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::int32_t position = 0;  // only 1 to 100 draw a bar; never clamped
    kav::UniquePen barPen;
    kav::UniqueBrush barBrush;

private:
    void Paint();
};

namespace kav {

constexpr wchar_t kProgressClassName[] = L"TProcess";
constexpr DWORD kProgressStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;  // 0x52000000
constexpr COLORREF kBarColour = 0x7373FC;    // RGB(252, 115, 115)
constexpr COLORREF kTrackOutline = 0xE2E2E2;  // RGB(226, 226, 226)

// Where the bar goes inside a control of client rectangle client.
struct ProgressBarShape {
    bool drawn = false;   // position is from 1 to 100
    RECT bar = {};        // the rounded bar
    bool squared = false; // the right end is squared off by squareFill
    RECT squareFill = {};
};

ProgressBarShape ProgressBarShapeFor(RECT client, std::int32_t position);

}  // namespace kav
