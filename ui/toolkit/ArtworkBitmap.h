#pragma once
// The program's background pictures, kept packed in the resources (resources/pack_bitmap.py).
#include <windows.h>

#include "system/Handles.h"

namespace kav {

// The picture that RCDATA resource id of module packs, as a bitmap with exactly the pixels of the
// original .bmp file; empty when the resource is missing or does not unpack.
UniqueBitmap LoadArtworkBitmap(HMODULE module, int id);

}  // namespace kav
