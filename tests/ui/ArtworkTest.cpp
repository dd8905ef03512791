// The program's pictures and icon as the resource script embeds them: their formats, that the
// packed pictures unpack to exactly the drawn files, and the areas behind the dialog's texts and
// bar that must stay readable.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "TestSupport.h"
#include "resources/ResourceIds.h"
#include "system/Handles.h"
#include "ui/toolkit/ArtworkBitmap.h"

namespace {

constexpr int kPictureWidth = 500;
constexpr int kPictureHeight = 310;

// Every pixel of a picture, read from its DIB section.
class Picture {
public:
    // A picture of the program, as the dialog loads it.
    explicit Picture(int id) : Picture(kav::LoadArtworkBitmap(::GetModuleHandleW(nullptr), id)) {}
    // A .bmp file, as Windows itself reads it.
    explicit Picture(const std::string& path)
        : Picture(kav::UniqueBitmap(static_cast<HBITMAP>(
              ::LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)))) {}
    explicit Picture(kav::UniqueBitmap bitmap) : bitmap_(std::move(bitmap)) {
        if (bitmap_) ::GetObjectW(bitmap_.Get(), sizeof section, &section);
    }
    bool Loaded() const { return bitmap_.IsValid(); }
    COLORREF At(int x, int y) const {
        const auto* bits = static_cast<const BYTE*>(section.dsBm.bmBits);
        const int stride = section.dsBm.bmWidthBytes;
        const int row = section.dsBmih.biHeight > 0 ? section.dsBm.bmHeight - 1 - y : y;
        const BYTE* p = bits + static_cast<size_t>(row) * stride + x * 3;
        return RGB(p[2], p[1], p[0]);
    }
    DIBSECTION section = {};

private:
    kav::UniqueBitmap bitmap_;
};

int Luma(COLORREF c) { return (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000; }

struct AreaCase {
    const char* name;
    int picture;
    RECT area;
    int minLuma;  // every pixel at least this bright (0: no bound)
    int maxLuma;  // every pixel at most this bright (255: no bound)
};

class ReadableArea : public ::testing::TestWithParam<AreaCase> {};

TEST_P(ReadableArea, KeepsItsContrast) {
    const AreaCase& c = GetParam();
    const Picture picture(c.picture);
    ASSERT_TRUE(picture.Loaded());
    int darkest = 255, brightest = 0;
    for (int y = c.area.top; y < c.area.bottom; ++y)
        for (int x = c.area.left; x < c.area.right; ++x) {
            const int luma = Luma(picture.At(x, y));
            darkest = std::min(darkest, luma);
            brightest = std::max(brightest, luma);
        }
    EXPECT_GE(darkest, c.minLuma);
    EXPECT_LE(brightest, c.maxLuma);
}

// Light texts (0xE7E7E7, grey 0xADA8A8 for the link) need a dark ground; black texts a light one.
INSTANTIATE_TEST_SUITE_P(
    Artwork, ReadableArea,
    ::testing::Values(AreaCase{"ReadyCloseBox", IDB_BACKGROUND_READY, {480, 4, 497, 20}, 0, 70},
                      AreaCase{"ReadyTitle", IDB_BACKGROUND_READY, {200, 142, 300, 178}, 0, 70},
                      AreaCase{"ReadyPathLabel", IDB_BACKGROUND_READY, {40, 155, 110, 180}, 0, 70},
                      AreaCase{"ReadyButtonSurround", IDB_BACKGROUND_READY, {190, 195, 310, 245}, 0, 70},
                      AreaCase{"ReadyCustomLink", IDB_BACKGROUND_READY, {400, 290, 495, 310}, 0, 60},
                      AreaCase{"InstallCloseBox", IDB_BACKGROUND_INSTALL, {480, 4, 497, 20}, 0, 70},
                      AreaCase{"InstallBanner", IDB_BACKGROUND_INSTALL, {181, 96, 461, 123}, 0, 70},
                      AreaCase{"InstallStatusLine", IDB_BACKGROUND_INSTALL, {1, 234, 499, 254}, 250, 255},
                      AreaCase{"InstallProgressBar", IDB_BACKGROUND_INSTALL, {1, 260, 499, 275}, 250, 255},
                      AreaCase{"InstallWhiteBand", IDB_BACKGROUND_INSTALL, {1, 216, 499, 308}, 255, 255}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Artwork, PicturesAre500By310With24BitsPerPixel) {
    for (int id : {IDB_BACKGROUND_READY, IDB_BACKGROUND_INSTALL}) {
        const Picture picture(id);
        ASSERT_TRUE(picture.Loaded()) << id;
        EXPECT_EQ(picture.section.dsBm.bmWidth, kPictureWidth);
        EXPECT_EQ(picture.section.dsBm.bmHeight, kPictureHeight);
        EXPECT_EQ(picture.section.dsBmih.biBitCount, 24);
    }
}

// The pictures are stored packed; unpacked they must be the drawn files, every byte of every row.
TEST(Artwork, PicturesUnpackToTheDrawnFiles) {
    const struct {
        int id;
        const char* file;
    } pictures[] = {{IDB_BACKGROUND_READY, "background_ready.bmp"}, {IDB_BACKGROUND_INSTALL, "background_install.bmp"}};
    for (const auto& p : pictures) {
        const Picture packed(p.id);
        const Picture drawn(kavtest::SourceDir() + "\\resources\\" + p.file);
        ASSERT_TRUE(packed.Loaded()) << p.id;
        ASSERT_TRUE(drawn.Loaded()) << p.file;
        const BITMAP& a = packed.section.dsBm;
        const BITMAP& b = drawn.section.dsBm;
        ASSERT_EQ(a.bmWidth, b.bmWidth);
        ASSERT_EQ(a.bmHeight, b.bmHeight);
        ASSERT_EQ(a.bmBitsPixel, b.bmBitsPixel);
        ASSERT_EQ(a.bmWidthBytes, b.bmWidthBytes);
        ASSERT_EQ(packed.section.dsBmih.biHeight, drawn.section.dsBmih.biHeight) << "same row order";
        EXPECT_EQ(std::memcmp(a.bmBits, b.bmBits, static_cast<size_t>(a.bmWidthBytes) * a.bmHeight), 0) << p.file;
    }
}

TEST(Artwork, InstallPictureHasItsBorder) {
    const Picture picture(IDB_BACKGROUND_INSTALL);
    ASSERT_TRUE(picture.Loaded());
    const COLORREF border = RGB(140, 94, 184);
    for (int x = 0; x < kPictureWidth; ++x) {
        ASSERT_EQ(picture.At(x, 0), border) << x;
        ASSERT_EQ(picture.At(x, kPictureHeight - 1), border) << x;
    }
    for (int y = 0; y < kPictureHeight; ++y) {
        ASSERT_EQ(picture.At(0, y), border) << y;
        ASSERT_EQ(picture.At(kPictureWidth - 1, y), border) << y;
    }
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

TEST(Artwork, IconHoldsFourSizes) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(IDI_INSTALLER), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* header = static_cast<const IconGroupHeader*>(::LockResource(::LoadResource(module, group)));
    ASSERT_NE(header, nullptr);
    const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 1);
    std::set<int> sizes;
    for (WORD i = 0; i < header->count; ++i) {
        sizes.insert(entries[i].width == 0 ? 256 : entries[i].width);
        EXPECT_EQ(entries[i].bitCount, 32);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32, 48, 256}));
    for (int size : {16, 32, 48, 256}) {
        const HICON icon = static_cast<HICON>(
            ::LoadImageW(module, MAKEINTRESOURCEW(IDI_INSTALLER), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        EXPECT_NE(icon, nullptr) << size;
        if (icon != nullptr) ::DestroyIcon(icon);
    }
}

}  // namespace
