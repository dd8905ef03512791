#include "ui/toolkit/SharedDrawing.h"

HBRUSH WhiteBrush = nullptr;
HFONT Font18 = nullptr;
HFONT Font20 = nullptr;
HFONT Font22 = nullptr;
HFONT Font27 = nullptr;

namespace {

constexpr int kFont18Height = 18;
constexpr int kFont20Height = 20;
constexpr int kFont22Height = 22;
constexpr int kFont27Height = 27;

template <typename Object>
void DeleteShared(Object& object) {
    if (object != nullptr) ::DeleteObject(object);
    object = nullptr;
}

}  // namespace

namespace kav {

HFONT CreateUiFont(int height) {
    return ::CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_OUTLINE_PRECIS,
                         CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH, kFontFaceName);
}

}  // namespace kav

void CreateSharedDrawingObjects() {
    WhiteBrush = ::CreateSolidBrush(kav::kWhite);
    Font18 = kav::CreateUiFont(kFont18Height);
    Font20 = kav::CreateUiFont(kFont20Height);
    Font22 = kav::CreateUiFont(kFont22Height);
    Font27 = kav::CreateUiFont(kFont27Height);
}

void DeleteSharedDrawingObjects() {
    DeleteShared(WhiteBrush);
    DeleteShared(Font18);
    DeleteShared(Font20);
    DeleteShared(Font22);
    DeleteShared(Font27);
}
