#include "ui/toolkit/PackedBitmap.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kFileHeaderBytes = 14;  // BITMAPFILEHEADER as stored, without padding
constexpr size_t kOffBitsOffset = 10;    // bfOffBits inside it
constexpr uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr size_t kInflateChunk = 64 * 1024;
// Wider or taller pictures are refused, which also keeps the size arithmetic far from overflow.
constexpr int64_t kMaxBitmapSide = 32767;

uint32_t ReadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

namespace kav {

std::optional<std::vector<uint8_t>> InflateZlib(std::span<const uint8_t> packed, size_t maxBytes) {
    if (packed.size() > UINT_MAX) return std::nullopt;
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK) return std::nullopt;
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());

    std::vector<uint8_t> out;
    int status = Z_OK;
    while (status == Z_OK) {
        const size_t have = out.size();
        if (have >= maxBytes + 1) break;  // one byte past the ceiling proves it too long
        const size_t room = std::min(kInflateChunk, maxBytes + 1 - have);
        out.resize(have + room);
        stream.next_out = out.data() + have;
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(have + room - stream.avail_out);
        // No progress with input left over, or the input used up before the end: cut short.
        if (status == Z_BUF_ERROR || (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)) break;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || out.size() > maxBytes) return std::nullopt;
    return out;
}

std::optional<UnpackedBitmap> UnpackBitmapFile(std::span<const uint8_t> packed) {
    std::optional<std::vector<uint8_t>> file = InflateZlib(packed, kMaxUnpackedBitmapBytes);
    if (!file) return std::nullopt;
    const std::vector<uint8_t>& bytes = *file;
    if (bytes.size() < kFileHeaderBytes + sizeof(BITMAPINFOHEADER)) return std::nullopt;
    if ((bytes[0] | bytes[1] << 8) != kBmpSignature) return std::nullopt;

    UnpackedBitmap picture;
    std::memcpy(&picture.header, bytes.data() + kFileHeaderBytes, sizeof picture.header);
    BITMAPINFOHEADER& header = picture.header;
    // Later header versions (V4, V5) begin with the same fields.
    const size_t headerBytes = header.biSize;
    if (headerBytes < sizeof(BITMAPINFOHEADER) || headerBytes > bytes.size() - kFileHeaderBytes) return std::nullopt;
    if (header.biPlanes != 1 || (header.biBitCount != 24 && header.biBitCount != 32) ||
        header.biCompression != BI_RGB)
        return std::nullopt;
    const int64_t width = header.biWidth;
    const int64_t height = std::abs(static_cast<int64_t>(header.biHeight));  // negative: rows top down
    if (width <= 0 || width > kMaxBitmapSide || height == 0 || height > kMaxBitmapSide) return std::nullopt;

    const size_t stride = ((static_cast<size_t>(width) * header.biBitCount + 31) / 32) * 4;
    const size_t pixelBytes = stride * static_cast<size_t>(height);
    const size_t pixelOffset = ReadLittleEndian32(bytes.data() + kOffBitsOffset);
    if (pixelOffset < kFileHeaderBytes + headerBytes || pixelOffset > bytes.size() ||
        bytes.size() - pixelOffset < pixelBytes)
        return std::nullopt;

    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biSizeImage = static_cast<DWORD>(pixelBytes);
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    picture.pixelOffset = pixelOffset;
    picture.pixelBytes = pixelBytes;
    picture.file = std::move(*file);
    return picture;
}

}  // namespace kav
