#include "ui/toolkit/ArtworkBitmap.h"

#include <cstring>
#include <optional>

#include "ui/toolkit/PackedBitmap.h"

namespace kav {

UniqueBitmap LoadArtworkBitmap(HMODULE module, int id) {
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (found == nullptr) return {};
    // Resource memory belongs to the module's image: there is nothing to free.
    const HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, found);
    if (data == nullptr || size == 0) return {};

    const std::optional<UnpackedBitmap> picture =
        UnpackBitmapFile({static_cast<const uint8_t*>(data), static_cast<size_t>(size)});
    if (!picture) return {};

    BITMAPINFO info = {};
    info.bmiHeader = picture->header;
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) return {};
    std::memcpy(bits, picture->Pixels(), picture->pixelBytes);
    return bitmap;
}

}  // namespace kav
