#pragma once
// The off-screen context of one WM_PAINT: everything is drawn into memDC, and the destructor copies
// the finished picture to the window in one BitBlt and ends the paint.
#include <windows.h>

class TMemDC {
public:
    explicit TMemDC(HWND window);
    virtual ~TMemDC();
    TMemDC(const TMemDC&) = delete;
    TMemDC& operator=(const TMemDC&) = delete;

    HDC memDC = nullptr;
    HDC paintDC = nullptr;
    HBITMAP bitmap = nullptr;
    HWND hwnd = nullptr;
    PAINTSTRUCT paintStruct = {};

private:
    HGDIOBJ previousBitmap_ = nullptr;
};
