#include "ui/dialog/InstallEngine.h"

#include <objbase.h>
#include <process.h>
#include <shlobj.h>

#include "system/Handles.h"

namespace kav {

namespace {

constexpr size_t kFolderBufferBytes = 2046;
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;  // 0x41

// The new-style folder browser needs COM in a single-threaded apartment on the calling thread.
class ScopedApartment {
public:
    ScopedApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ScopedApartment() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    ScopedApartment(const ScopedApartment&) = delete;
    ScopedApartment& operator=(const ScopedApartment&) = delete;

private:
    HRESULT result_;
};

}  // namespace

HANDLE StartWorkerThread(ThreadProcedure procedure, void* argument) {
    if (procedure == nullptr) return nullptr;
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, procedure, argument, 0, nullptr);
    return reinterpret_cast<HANDLE>(thread);
}

int AskReinstall(HWND owner, const wchar_t* text, const wchar_t* caption) {
    return ::MessageBoxW(owner, text, caption, MB_OKCANCEL);
}

std::string ChooseFolder(HWND owner, const char* title) {
    ScopedApartment apartment;
    ComPtr<IMalloc> allocator;
    if (FAILED(::SHGetMalloc(allocator.GetAddressOf())) || !allocator) return {};

    char buffer[kFolderBufferBytes] = {};
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;  // the whole namespace
    info.pszDisplayName = buffer;
    info.lpszTitle = title;
    info.ulFlags = kBrowseFlags;
    info.lpfn = nullptr;
    info.lParam = 0;
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderA(&info);
    if (item == nullptr) return {};
    // The buffer holds the item's display name until the path replaces it; a display name is not
    // a folder path, so a choice without a path counts as no choice.
    const bool hasPath = ::SHGetPathFromIDListA(item, buffer) != FALSE;
    allocator->Free(item);
    return hasPath ? std::string(buffer) : std::string();
}

}  // namespace kav
