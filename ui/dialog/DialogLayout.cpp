#include "ui/dialog/DialogLayout.h"

#include "ui/toolkit/TModalWnd.h"

namespace {

constexpr int kButtonLeft = 200;
constexpr int kButtonRight = 300;
constexpr int kButtonTopFromBottom = 108;
constexpr int kButtonBottomFromBottom = 72;
constexpr int kTitleAboveButton = 60;
constexpr int kCustomLeftFromRight = 100;
constexpr int kCustomRightFromRight = 5;
constexpr int kCustomTopFromBottom = 20;
constexpr int kStatusLeftFromRight = 468;
constexpr int kStatusRightFromRight = 34;
constexpr int kStatusTopFromBottom = 76;
constexpr int kStatusBottomFromBottom = 56;

}  // namespace

namespace kav {

DialogLayout ComputeDialogLayout(int w, int h) {
    DialogLayout layout = {};
    layout.captionRect = RECT{0, 0, w, kCaptionHeight};
    layout.buttonRect = RECT{kButtonLeft, h - kButtonTopFromBottom, kButtonRight, h - kButtonBottomFromBottom};
    layout.titleRect = layout.buttonRect;
    ::OffsetRect(&layout.titleRect, 0, -kTitleAboveButton);
    layout.customRect = RECT{w - kCustomLeftFromRight, h - kCustomTopFromBottom, w - kCustomRightFromRight, h};
    layout.browseRect = kBrowseRect;
    layout.statusRect = RECT{w - kStatusLeftFromRight, h - kStatusTopFromBottom, w - kStatusRightFromRight,
                             h - kStatusBottomFromBottom};
    layout.bannerRect = kBannerRect;
    return layout;
}

RECT DialogCloseCrossRect(int clientWidth, int s) {
    const int left = clientWidth - 2 * s / 3;
    return RECT{left, s / 3, left + s / 3, 2 * (s / 3)};
}

}  // namespace kav
