#pragma once
// Conversions between the installer's narrow text (code page 936) and UTF-16.
#include <windows.h>

#include <string>

namespace kav {

constexpr UINT kGbkCodePage = 936;
constexpr UINT kBig5CodePage = 950;

// Converts zero-terminated narrow text of the code page to UTF-16 (no flags). Empty when the text
// is absent, cannot be converted, or needs more than maxUnits units with its terminator.
std::wstring WideFromNarrow(const char* text, UINT codePage, size_t maxUnits);

// Converts zero-terminated UTF-16 text to the code page (no flags, no default character). Empty
// when the text is absent, cannot be converted, or needs more than maxBytes with its terminator.
std::string NarrowFromWide(const wchar_t* text, UINT codePage, size_t maxBytes);

}  // namespace kav
