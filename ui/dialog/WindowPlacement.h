#pragma once
// Where the dialog goes on the screen: horizontally centred on the monitor under the pointer,
// vertically centred on the primary screen.
#include <windows.h>

#include <vector>

namespace kav {

constexpr int kDialogWidth = 500;
constexpr int kDialogHeight = 310;

// The current mode of one display device, as EnumDisplaySettingsExW reports it.
struct DisplayMode {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int logPixels = 0;  // logical pixels per inch; above 96 the four values above are scaled
};

// The dialog's top-left corner for the pointer, the display modes in device order and the primary
// screen's height.
POINT DialogPosition(POINT pointer, const std::vector<DisplayMode>& modes, int screenHeight);

// The current modes of the display devices, in device order; devices without one are left out.
std::vector<DisplayMode> CurrentDisplayModes();

}  // namespace kav
