#pragma once
// Loading of Windows libraries that are not KnownDLLs. The installer runs elevated, often from a
// Downloads folder in which anybody's files lie, so such a library is taken from System32 only,
// never from the program's folder or the current folder.
#include <windows.h>

namespace kav {

// Loads the named library (a bare file name such as L"winhttp.dll") from the system folder.
// Null when it is not there. The module stays loaded for the life of the process.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

// Whether the loader understands LOAD_LIBRARY_SEARCH_SYSTEM32 (Windows 8 and later, or Windows 7
// with its loader update); without it LoadSystemLibrary loads the full System32 path instead.
bool LoaderSupportsSearchFlags();

// The address of an exported function, cast to its pointer type; null when missing.
template <typename Function>
Function GetLibraryFunction(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Looks the function up into slot; true when it was found.
template <typename Function>
bool BindLibraryFunction(HMODULE module, const char* name, Function& slot) {
    slot = GetLibraryFunction<Function>(module, name);
    return slot != nullptr;
}

// Restricts the process's own DLL search to System32 (SetDefaultDllDirectories, looked up at
// run time). False where the call does not exist; LoadSystemLibrary covers those systems.
bool RestrictDllSearchToSystem32();

}  // namespace kav
