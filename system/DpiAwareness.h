#pragma once
// Records in the installed product's private configuration whether the main display runs at a
// whole multiple of 96 DPI of at least 192, so that the product can pick its high-DPI artwork.
#include <windows.h>

#include <string>

// Makes this process per-monitor DPI aware, reads the effective DPI of the desktop window's
// display and writes "awaredpi" = "1" or "0" (section "kavrindel") into
// <installDir>/config/kavrindel.Default.pri. Returns the profile write's result (nonzero on
// success), or 0 without writing when SHCore.dll cannot be loaded from the system folder.
int WriteDpiAwareness();

namespace kav {

constexpr UINT kBaseDpi = 96;

// 1 when dpi is divisible by 96 with a quotient above 1 (192, 288, ...), else 0.
int HighDpiFlagFor(UINT dpi);

// The private configuration file of the product installed in installDir, with the forward
// slashes the product's own code uses. Empty when it does not fit the 2048-byte path buffer.
std::string DpiConfigFilePath(const std::string& installDir);

// The two SHCore functions the operation uses; either may be missing on an older system.
using SetProcessDpiAwarenessFn = HRESULT(WINAPI*)(int awareness);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR monitor, int dpiType, UINT* dpiX, UINT* dpiY);
struct DpiFunctions {
    SetProcessDpiAwarenessFn setProcessDpiAwareness = nullptr;
    GetDpiForMonitorFn getDpiForMonitor = nullptr;
};

// The operation after the library has been loaded: with both functions the flag follows the
// display's DPI (a failed query keeps the preset 96), with either missing it is 0. Returns the
// profile write's result.
int RecordDpiAwareness(const DpiFunctions& functions, const std::string& installDir);

}  // namespace kav
