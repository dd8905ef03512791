#include "ui/toolkit/TMemDC.h"

TMemDC::TMemDC(HWND window) : hwnd(window) {
    paintDC = ::BeginPaint(hwnd, &paintStruct);
    ::SetBkMode(paintDC, TRANSPARENT);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    memDC = ::CreateCompatibleDC(paintDC);
    bitmap = ::CreateCompatibleBitmap(paintDC, client.right - client.left, client.bottom - client.top);
    if (memDC != nullptr && bitmap != nullptr) previousBitmap_ = ::SelectObject(memDC, bitmap);
}

TMemDC::~TMemDC() {
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    if (memDC != nullptr) {
        ::BitBlt(paintDC, 0, 0, client.right - client.left, client.bottom - client.top, memDC, 0, 0, SRCCOPY);
        // The bitmap is put back out of the context before both go, so that it can be deleted.
        if (previousBitmap_ != nullptr) ::SelectObject(memDC, previousBitmap_);
        ::DeleteDC(memDC);
    }
    if (bitmap != nullptr) ::DeleteObject(bitmap);
    ::EndPaint(hwnd, &paintStruct);
}
