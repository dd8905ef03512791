#include "WindowCapture.h"

#include <zlib.h>

#include <cstdio>

#include "system/Handles.h"
#include "ui/toolkit/SharedDrawing.h"

namespace kavtest {

COLORREF Capture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    const std::uint32_t p = pixels[static_cast<size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (milliseconds != 0) ::Sleep(5);
    } while (::GetTickCount() - start < milliseconds);
}

Capture PaintAndCapture(HWND window) {
    PumpMessages();
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpMessages();
    Capture capture;
    RECT client = {};
    ::GetClientRect(window, &client);
    capture.width = client.right;
    capture.height = client.bottom;
    capture.pixels.assign(static_cast<size_t>(capture.width) * capture.height, 0);
    if (capture.width == 0 || capture.height == 0) return capture;

    // No DCX_CLIPCHILDREN: the child windows' pixels are part of the picture.
    HDC windowDc = ::GetDCEx(window, nullptr, DCX_CACHE);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    kav::UniqueBitmap dib(::CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    kav::UniqueMemoryDc memory(::CreateCompatibleDC(windowDc));
    if (dib && memory) {
        kav::ScopedSelectObject select(memory.Get(), dib.Get());
        ::BitBlt(memory.Get(), 0, 0, capture.width, capture.height, windowDc, 0, 0, SRCCOPY);
        ::GdiFlush();
        const auto* source = static_cast<const std::uint32_t*>(bits);
        for (size_t i = 0; i < capture.pixels.size(); ++i) capture.pixels[i] = source[i] & 0xFFFFFF;
    }
    ::ReleaseDC(window, windowDc);
    return capture;
}

void HoverAt(HWND window, int x, int y) {
    POINT point = {x, y};
    ::ClientToScreen(window, &point);
    ::SetCursorPos(point.x, point.y);
    PumpMessages(20);
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PumpMessages();
}

namespace {

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void AppendChunk(std::string& out, const char* type, const std::string& payload) {
    AppendBigEndian(out, static_cast<std::uint32_t>(payload.size()));
    const std::string body = std::string(type, 4) + payload;
    out += body;
    AppendBigEndian(out, static_cast<std::uint32_t>(
                             crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

bool WritePng(const Capture& capture, const std::string& path) {
    std::string raw;
    raw.reserve(static_cast<size_t>(capture.height) * (capture.width * 3 + 1));
    for (int y = 0; y < capture.height; ++y) {
        raw.push_back('\0');  // no filter
        for (int x = 0; x < capture.width; ++x) {
            const std::uint32_t p = capture.pixels[static_cast<size_t>(y) * capture.width + x];
            raw.push_back(static_cast<char>((p >> 16) & 0xFF));
            raw.push_back(static_cast<char>((p >> 8) & 0xFF));
            raw.push_back(static_cast<char>(p & 0xFF));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 9) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);

    std::string header;
    AppendBigEndian(header, static_cast<std::uint32_t>(capture.width));
    AppendBigEndian(header, static_cast<std::uint32_t>(capture.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", "");

    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}

SharedDrawingScope::SharedDrawingScope() { CreateSharedDrawingObjects(); }
SharedDrawingScope::~SharedDrawingScope() { DeleteSharedDrawingObjects(); }

}  // namespace kavtest
