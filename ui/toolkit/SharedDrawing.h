#pragma once
// The drawing objects every window of the program selects: made once before any window exists and
// deleted at exit. Windows never delete them.
#include <windows.h>

extern HBRUSH WhiteBrush;  // solid 0xFFFFFF: the progress bar's track
extern HFONT Font18;       // labels, path text, Browse, Custom link
extern HFONT Font20;       // caption title, status and percentage texts
extern HFONT Font22;       // main button label
extern HFONT Font27;       // dialog title and installing banner

// Creates the brush and the four fonts, in that order.
void CreateSharedDrawingObjects();
// Deletes them and sets them back to null.
void DeleteSharedDrawingObjects();

namespace kav {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr wchar_t kFontFaceName[] = L"Microsoft Yahei";

// The program's font of the given cell height (positive: a cell height, not a character height).
HFONT CreateUiFont(int height);

}  // namespace kav
