#pragma once
// A picture as the resources hold it: a whole .bmp file packed into one zlib stream. Unpacking
// inflates it and checks the file's layout, so that nothing outside the unpacked bytes is read.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kav {

// Ceiling of an unpacked picture (the program's own are 465 KB each).
constexpr size_t kMaxUnpackedBitmapBytes = 16 * 1024 * 1024;

// An unpacked .bmp file of 24 or 32 bits per pixel without compression: its info header (as a
// plain BITMAPINFOHEADER) and where its pixel rows, each padded to 4 bytes, lie in the file.
struct UnpackedBitmap {
    std::vector<uint8_t> file;
    BITMAPINFOHEADER header = {};
    size_t pixelOffset = 0;
    size_t pixelBytes = 0;

    const uint8_t* Pixels() const { return file.data() + pixelOffset; }
};

// The bytes of a complete zlib stream that inflates to at most maxBytes; nothing when the stream
// is damaged, cut short, or inflates to more.
std::optional<std::vector<uint8_t>> InflateZlib(std::span<const uint8_t> packed, size_t maxBytes);

// The .bmp file that a packed picture holds; nothing when it does not inflate, is no .bmp file,
// has another format than 24 or 32 bits per pixel uncompressed, or is shorter than its pixels.
std::optional<UnpackedBitmap> UnpackBitmapFile(std::span<const uint8_t> packed);

}  // namespace kav
