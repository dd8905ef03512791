#include "system/TextCodec.h"

namespace kav {

std::wstring WideFromNarrow(const char* text, UINT codePage, size_t maxUnits) {
    if (text == nullptr) return {};
    const int needed = ::MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (needed <= 0 || static_cast<size_t>(needed) > maxUnits) return {};
    std::wstring result(static_cast<size_t>(needed), L'\0');
    if (::MultiByteToWideChar(codePage, 0, text, -1, result.data(), needed) != needed) return {};
    result.resize(static_cast<size_t>(needed) - 1);  // drop the terminator
    return result;
}

std::string NarrowFromWide(const wchar_t* text, UINT codePage, size_t maxBytes) {
    if (text == nullptr) return {};
    const int needed = ::WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) > maxBytes) return {};
    std::string result(static_cast<size_t>(needed), '\0');
    if (::WideCharToMultiByte(codePage, 0, text, -1, result.data(), needed, nullptr, nullptr) != needed) return {};
    result.resize(static_cast<size_t>(needed) - 1);
    return result;
}

}  // namespace kav
