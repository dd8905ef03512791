#include "app/SearchPath.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "system/TextCodec.h"

namespace kav {

namespace {

constexpr DWORD kPathBufferUnits = 65536;
constexpr size_t kSystemFolderUnits = 1024;
constexpr char kSystemFolderSuffix[] = "\\system32;";

}  // namespace

std::optional<std::wstring> SearchPathWithSystemFolder(const std::wstring& path, const char* systemRoot) {
    if (systemRoot == nullptr) return std::nullopt;
    std::wstring result = path;
    if (!result.empty() && result.back() != L';') result += L';';
    const std::string systemFolder = std::string(systemRoot) + kSystemFolderSuffix;
    result += WideFromNarrow(systemFolder.c_str(), kGbkCodePage, kSystemFolderUnits);
    return result;
}

void AppendSystemFolderToSearchPath() {
    std::vector<wchar_t> buffer(kPathBufferUnits, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"path", buffer.data(), kPathBufferUnits);
    const std::wstring path = length > 0 && length < kPathBufferUnits ? std::wstring(buffer.data(), length) : std::wstring();

    // SystemRoot as 8-bit text from the C runtime's copy of the environment, copied at once.
    const char* runtimeValue = std::getenv("SystemRoot");
    const std::optional<std::string> systemRoot =
        runtimeValue != nullptr ? std::optional<std::string>(runtimeValue) : std::nullopt;

    const std::optional<std::wstring> extended =
        SearchPathWithSystemFolder(path, systemRoot ? systemRoot->c_str() : nullptr);
    if (extended) ::SetEnvironmentVariableW(L"Path", extended->c_str());
}

}  // namespace kav
