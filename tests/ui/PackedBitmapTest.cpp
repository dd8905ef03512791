// Unpacking a packed picture: a zlib stream of a whole .bmp file. What it accepts, and that a
// damaged stream or a file whose headers disagree with its bytes gives nothing rather than a
// bitmap read past its end.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "ui/toolkit/PackedBitmap.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kInfoAt = 14;      // the info header, after the file header
constexpr size_t kOffBitsAt = 10;   // bfOffBits
constexpr size_t kWidthAt = kInfoAt + 4;
constexpr size_t kHeightAt = kInfoAt + 8;
constexpr size_t kBitCountAt = kInfoAt + 14;
constexpr size_t kCompressionAt = kInfoAt + 16;

void Put16(Bytes& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, sizeof v); }
void Put32(Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, sizeof v); }

// A .bmp file with an info header of headerBytes, the given size and depth, and numbered pixels.
Bytes MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t headerBytes = 40) {
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    const size_t pixels = stride * static_cast<size_t>(height < 0 ? -height : height);
    const size_t offset = kInfoAt + headerBytes;
    Bytes b(offset + pixels, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, kOffBitsAt, static_cast<uint32_t>(offset));
    Put32(b, kInfoAt, headerBytes);
    Put32(b, kWidthAt, static_cast<uint32_t>(width));
    Put32(b, kHeightAt, static_cast<uint32_t>(height));
    Put16(b, kInfoAt + 12, 1);
    Put16(b, kBitCountAt, bits);
    for (size_t i = 0; i < pixels; ++i) b[offset + i] = static_cast<uint8_t>(i * 7 + 1);
    return b;
}

Bytes Pack(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

TEST(PackedBitmap, UnpacksTheFileAndFindsItsPixels) {
    const Bytes file = MakeBmp(3, 2, 24);
    const auto picture = kav::UnpackBitmapFile(Pack(file));
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->file, file);
    EXPECT_EQ(picture->header.biWidth, 3);
    EXPECT_EQ(picture->header.biHeight, 2);
    EXPECT_EQ(picture->header.biBitCount, 24);
    EXPECT_EQ(picture->pixelOffset, 54u);
    EXPECT_EQ(picture->pixelBytes, 24u) << "rows of 9 bytes padded to 12";
    EXPECT_EQ(picture->header.biSizeImage, 24u);
}

TEST(PackedBitmap, AcceptsTopDownRowsThirtyTwoBitsAndLaterHeaders) {
    struct Case {
        const char* name;
        Bytes file;
        size_t pixelOffset;
        size_t pixelBytes;
    };
    const Case cases[] = {
        {"top down", MakeBmp(2, -3, 24), 54, 24},
        {"32 bits", MakeBmp(5, 1, 32), 54, 20},
        {"V5 header", MakeBmp(1, 1, 24, 124), 138, 4},
    };
    for (const Case& c : cases) {
        const auto picture = kav::UnpackBitmapFile(Pack(c.file));
        ASSERT_TRUE(picture.has_value()) << c.name;
        EXPECT_EQ(picture->pixelOffset, c.pixelOffset) << c.name;
        EXPECT_EQ(picture->pixelBytes, c.pixelBytes) << c.name;
        EXPECT_EQ(picture->header.biSize, sizeof(BITMAPINFOHEADER)) << c.name << ": handed on as a plain info header";
    }
}

TEST(PackedBitmap, RefusesFilesWhoseHeadersDoNotFitTheirBytes) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> spoil;
    };
    const Case cases[] = {
        {"not a .bmp file", [](Bytes& b) { b[1] = 'A'; }},
        {"one pixel byte missing", [](Bytes& b) { b.pop_back(); }},
        {"pixels said to start later", [](Bytes& b) { Put32(b, kOffBitsAt, 58); }},
        {"pixels said to start inside the header", [](Bytes& b) { Put32(b, kOffBitsAt, 40); }},
        {"pixels said to start past the end", [](Bytes& b) { Put32(b, kOffBitsAt, 0xFFFFFFF0u); }},
        {"header larger than the file", [](Bytes& b) { Put32(b, kInfoAt, 4096); }},
        {"old core header", [](Bytes& b) { Put32(b, kInfoAt, 12); }},
        {"palette picture", [](Bytes& b) { Put16(b, kBitCountAt, 8); }},
        {"compressed rows", [](Bytes& b) { Put32(b, kCompressionAt, BI_RLE8); }},
        {"bit fields", [](Bytes& b) { Put32(b, kCompressionAt, BI_BITFIELDS); }},
        {"no width", [](Bytes& b) { Put32(b, kWidthAt, 0); }},
        {"negative width", [](Bytes& b) { Put32(b, kWidthAt, static_cast<uint32_t>(-3)); }},
        {"no height", [](Bytes& b) { Put32(b, kHeightAt, 0); }},
        {"most negative height", [](Bytes& b) { Put32(b, kHeightAt, 0x80000000u); }},
        {"huge width", [](Bytes& b) { Put32(b, kWidthAt, 0x40000000u); }},
        {"only the file header", [](Bytes& b) { b.resize(kInfoAt + 10); }},
    };
    for (const Case& c : cases) {
        Bytes file = MakeBmp(3, 2, 24);
        c.spoil(file);
        EXPECT_FALSE(kav::UnpackBitmapFile(Pack(file)).has_value()) << c.name;
    }
}

TEST(PackedBitmap, RefusesDamagedStreams) {
    const Bytes packed = Pack(MakeBmp(40, 30, 24));
    struct Case {
        const char* name;
        std::function<void(Bytes&)> spoil;
    };
    const Case cases[] = {
        {"a plain .bmp file", [](Bytes& b) { b = MakeBmp(3, 2, 24); }},
        {"cut short", [](Bytes& b) { b.resize(b.size() - 5); }},
        {"checksum wrong", [](Bytes& b) { b.back() ^= 0x01; }},
        {"empty", [](Bytes& b) { b.clear(); }},
    };
    for (const Case& c : cases) {
        Bytes spoilt = packed;
        c.spoil(spoilt);
        EXPECT_FALSE(kav::UnpackBitmapFile(spoilt).has_value()) << c.name;
    }
}

TEST(PackedBitmap, InflatesUpToItsCeilingAndNoFurther) {
    const Bytes data(200000, 0x5A);  // more than one inflate chunk
    const Bytes packed = Pack(data);
    const auto exact = kav::InflateZlib(packed, data.size());
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(*exact, data);
    EXPECT_FALSE(kav::InflateZlib(packed, data.size() - 1).has_value());
}

}  // namespace
