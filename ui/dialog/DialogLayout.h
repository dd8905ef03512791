#pragma once
// The places of the dialog's elements, in client coordinates.
#include <windows.h>

namespace kav {

// The rectangles that follow the client size (normally 500 by 310).
struct DialogLayout {
    RECT captionRect;
    RECT buttonRect;
    RECT titleRect;
    RECT customRect;
    RECT browseRect;
    RECT statusRect;
    RECT bannerRect;
};

DialogLayout ComputeDialogLayout(int clientWidth, int clientHeight);

// Fixed places of the custom-path panel.
constexpr RECT kPathLabelRect = {40, 155, 160, 180};
constexpr RECT kPathBoxRect = {110, 155, 420, 180};
constexpr RECT kPathTextRect = {112, 155, 418, 180};
constexpr RECT kBrowseRect = {420, 155, 470, 180};
constexpr RECT kBannerRect = {181, 96, 461, 123};

// The progress bar's place while installing.
constexpr int kProgressLeft = 34;
constexpr int kProgressTop = 260;
constexpr int kProgressWidth = 434;
constexpr int kProgressHeight = 15;

// The close cross of the dialog in the top-right cell of side cellSize: (484, 8, 492, 16) at width
// 500 with cell 25. Its hit area is one pixel larger on every side.
RECT DialogCloseCrossRect(int clientWidth, int cellSize);

}  // namespace kav
