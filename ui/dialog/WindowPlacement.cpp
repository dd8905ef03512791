#include "ui/dialog/WindowPlacement.h"

namespace {

constexpr int kBaseLogPixels = 96;

int Unscale(int value, int logPixels) { return value * kBaseLogPixels / logPixels; }

}  // namespace

namespace kav {

POINT DialogPosition(POINT pointer, const std::vector<DisplayMode>& modes, int screenHeight) {
    // The span starts empty at the pointer; the primary monitor (at 0,0) is the fallback.
    int spanLeft = pointer.x;
    int spanRight = pointer.x;
    for (const DisplayMode& mode : modes) {
        int x = mode.x;
        int y = mode.y;
        int w = mode.width;
        int h = mode.height;
        if (mode.logPixels > kBaseLogPixels) {
            x = Unscale(x, mode.logPixels);
            y = Unscale(y, mode.logPixels);
            w = Unscale(w, mode.logPixels);
            h = Unscale(h, mode.logPixels);
        }
        if (x == 0 && y == 0) {
            spanLeft = 0;
            spanRight = w;
        }
        if (x <= pointer.x && pointer.x < x + w && y <= pointer.y && pointer.y < y + h) {
            spanLeft = x;
            spanRight = x + w;
            break;
        }
    }
    return POINT{spanLeft + (spanRight - spanLeft - kDialogWidth) / 2, (screenHeight - kDialogHeight) / 2};
}

std::vector<DisplayMode> CurrentDisplayModes() {
    std::vector<DisplayMode> modes;
    DISPLAY_DEVICEW device = {};
    device.cb = sizeof device;
    for (DWORD index = 0; ::EnumDisplayDevicesW(nullptr, index, &device, 0); ++index) {
        DEVMODEW mode = {};
        mode.dmSize = sizeof mode;
        if (::EnumDisplaySettingsExW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode, 0)) {
            modes.push_back(DisplayMode{mode.dmPosition.x, mode.dmPosition.y, static_cast<int>(mode.dmPelsWidth),
                                        static_cast<int>(mode.dmPelsHeight), mode.dmLogPixels});
        }
        device = {};
        device.cb = sizeof device;
    }
    return modes;
}

}  // namespace kav
