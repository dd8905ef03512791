#include "system/SafeLibrary.h"

#include <string>

namespace kav {

namespace {

constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

HMODULE Kernel32() { return ::GetModuleHandleW(L"kernel32.dll"); }

}  // namespace

bool LoaderSupportsSearchFlags() {
    // AddDllDirectory ships together with the LOAD_LIBRARY_SEARCH_* flags.
    return ::GetProcAddress(Kernel32(), "AddDllDirectory") != nullptr;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    if (fileName == nullptr || *fileName == L'\0') return nullptr;
    if (LoaderSupportsSearchFlags()) {
        return ::LoadLibraryExW(fileName, nullptr, kSearchSystem32);
    }
    wchar_t systemDir[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring fullPath(systemDir, length);
    fullPath += L'\\';
    fullPath += fileName;
    return ::LoadLibraryExW(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool RestrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = GetLibraryFunction<SetDefaultDllDirectoriesFn>(Kernel32(), "SetDefaultDllDirectories");
    if (setDefault == nullptr) return false;
    return setDefault(kSearchSystem32) != FALSE;
}

}  // namespace kav
