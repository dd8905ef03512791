#include "system/InteractiveUser.h"

#include <shlobj.h>

#include <vector>

#include "system/Handles.h"
#include "system/SafeLibrary.h"

namespace kav {

namespace {

constexpr size_t kFolderBufferBytes = 65536;
constexpr DWORD kAccountNameChars = 260;
constexpr int kWtsUserName = 5;  // WTS_INFO_CLASS WTSUserName

using WtsQuerySessionInformationAFn = BOOL(WINAPI*)(HANDLE, DWORD, int, LPSTR*, DWORD*);
using WtsFreeMemoryFn = void(WINAPI*)(PVOID);

}  // namespace

std::string SwapAccountFolder(const std::string& path, const std::string& accountName) {
    size_t positions[3] = {};
    size_t found = 0;
    size_t from = 0;
    while (found < 3) {
        const size_t at = path.find('\\', from);
        if (at == std::string::npos) break;
        positions[found++] = at;
        from = at + 1;
    }
    if (found < 3 || accountName.empty()) return path;
    const size_t second = positions[1];
    const size_t third = positions[2];
    return path.substr(0, second + 1) + accountName + path.substr(third);
}

bool AppendShellFolderPath(int csidl, std::string& out) {
    ComPtr<IMalloc> allocator;
    if (FAILED(::SHGetMalloc(allocator.GetAddressOf()))) return false;
    PIDLIST_ABSOLUTE items = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &items))) return false;
    std::vector<char> buffer(kFolderBufferBytes, '\0');
    const bool ok = ::SHGetPathFromIDListA(items, buffer.data()) != FALSE;
    if (ok) out += buffer.data();
    allocator->Free(items);
    return ok;
}

std::string QueryConsoleUserName() {
    const HMODULE wtsapi = LoadSystemLibrary(L"wtsapi32.dll");
    const auto query = GetLibraryFunction<WtsQuerySessionInformationAFn>(wtsapi, "WTSQuerySessionInformationA");
    const auto release = GetLibraryFunction<WtsFreeMemoryFn>(wtsapi, "WTSFreeMemory");
    if (query == nullptr || release == nullptr) return {};
    LPSTR name = nullptr;
    DWORD bytes = 0;
    if (!query(nullptr, ::WTSGetActiveConsoleSessionId(), kWtsUserName, &name, &bytes)) return {};
    std::string result = name != nullptr ? name : "";
    release(name);
    return result;
}

std::string AccountNameOfProcess(DWORD processId) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (!process) return {};
    UniqueHandle token;
    if (!::OpenProcessToken(process.Get(), TOKEN_QUERY, token.Put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<unsigned char> info(size);
    if (!::GetTokenInformation(token.Get(), TokenUser, info.data(), size, &size)) return {};
    const auto* user = reinterpret_cast<const TOKEN_USER*>(info.data());
    char name[kAccountNameChars] = {};
    char domain[kAccountNameChars] = {};
    DWORD nameChars = kAccountNameChars;
    DWORD domainChars = kAccountNameChars;
    SID_NAME_USE use = SidTypeUnknown;
    if (!::LookupAccountSidA(nullptr, user->User.Sid, name, &nameChars, domain, &domainChars, &use)) return {};
    return name;
}

std::string QueryShellOwnerName() {
    const HWND shell = ::GetShellWindow();
    if (shell == nullptr) return {};
    DWORD processId = 0;
    ::GetWindowThreadProcessId(shell, &processId);
    if (processId == 0) return {};
    return AccountNameOfProcess(processId);
}

}  // namespace kav

void GetInteractiveUserLocalAppData(std::string& out) {
    kav::AppendShellFolderPath(kav::kCsidlLocalAppData, out);
    std::string account = kav::QueryConsoleUserName();
    if (account.empty()) account = kav::QueryShellOwnerName();
    out = kav::SwapAccountFolder(out, account);
}

void GetCommonDesktopPath(std::string& out) {
    kav::AppendShellFolderPath(kav::kCsidlCommonDesktop, out);
}
