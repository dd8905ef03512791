#include "system/UninstallEntry.h"

#include <cstdio>
#include <cstring>

#include "app/InstallSettings.h"
#include "system/Handles.h"
#include "system/ProductPaths.h"
#include "system/Processes.h"
#include "system/RegistryRoots.h"
#include "system/TextCodec.h"

namespace kav {

namespace {

constexpr WORD kArchitectureX64 = 9;      // PROCESSOR_ARCHITECTURE_AMD64
constexpr WORD kArchitectureItanium = 6;  // PROCESSOR_ARCHITECTURE_IA64
constexpr char kUninstallStringFormat[] = "%s\\uninstall.exe";
constexpr char kDisplayIconFormat[] = "%s\\%s";
constexpr char kDisplayVersionFormat[] = "%s";

using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

std::string FormatOne(const char* format, const char* first) {
    char buffer[kUninstallValueBuffer] = {};
    std::snprintf(buffer, sizeof buffer, format, first);
    return buffer;
}

std::string FormatTwo(const char* format, const char* first, const char* second) {
    char buffer[kUninstallValueBuffer] = {};
    std::snprintf(buffer, sizeof buffer, format, first, second);
    return buffer;
}

// Stores text as REG_SZ with its terminator counted in the size.
bool SetValue(HKEY key, const UninstallValue& value) {
    if (value.call == ValueCall::Narrow) {
        const DWORD bytes = static_cast<DWORD>(value.text.size() + 1);
        return ::RegSetValueExA(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                                bytes) == ERROR_SUCCESS;
    }
    const std::wstring name = WideFromNarrow(value.name, kGbkCodePage, kUninstallValueBuffer);
    const std::wstring text = WideFromNarrow(value.text.c_str(), kGbkCodePage, kUninstallValueBuffer);
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

}  // namespace

const char* UninstallRootFor(std::optional<WORD> nativeArchitecture) {
    if (nativeArchitecture == kArchitectureX64 || nativeArchitecture == kArchitectureItanium) {
        return kUninstallRootWow64;
    }
    return kUninstallRootNative;
}

std::optional<WORD> NativeProcessorArchitecture() {
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32");
    if (kernel32 == nullptr) return std::nullopt;
    const auto getNativeSystemInfo = reinterpret_cast<GetNativeSystemInfoFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "GetNativeSystemInfo")));
    if (getNativeSystemInfo == nullptr) return std::nullopt;
    SYSTEM_INFO info;
    std::memset(&info, 0, sizeof info);
    getNativeSystemInfo(&info);
    return info.wProcessorArchitecture;
}

std::string UninstallKeyNameFor(const std::string& packageCode) {
    return kUninstallKeyPrefix + packageCode + kProductVersionTag;
}

std::vector<UninstallValue> UninstallValuesFor(const InstallSettings& settings, const std::string& shortcutPath) {
    const char* installDir = settings.installDir.c_str();
    return {
        {"DisplayName", ValueCall::Wide, DisplayTitleFor(settings.productTitle)},
        {"UninstallString", ValueCall::Narrow, FormatOne(kUninstallStringFormat, installDir)},
        {"DisplayIcon", ValueCall::Narrow, FormatTwo(kDisplayIconFormat, installDir, kProductExeName)},
        {"DisplayVersion", ValueCall::Narrow, FormatOne(kDisplayVersionFormat, settings.installedVersion.c_str())},
        {"Publisher", ValueCall::Wide, TruncatedText(kPublisherName, kUninstallValueBuffer - 1)},
        {"Shortcut", ValueCall::Wide, TruncatedText(shortcutPath, kUninstallValueBuffer - 1)},
    };
}

}  // namespace kav

int RegisterUninstallEntry() {
    const InstallSettings& settings = GetInstallSettings();
    const std::vector<kav::UninstallValue> values = kav::UninstallValuesFor(settings, kav::DesktopShortcutPath());
    const char* rootPath = kav::UninstallRootFor(kav::NativeProcessorArchitecture());

    // Opened, never created: a system without an Uninstall key is not one to register with.
    kav::UniqueRegKey root;
    if (::RegOpenKeyExA(kav::RegistryRootKey(kav::RegistryRoot::LocalMachine), rootPath, 0, KEY_SET_VALUE,
                        root.Put()) != ERROR_SUCCESS) {
        return -1;
    }
    kav::UniqueRegKey product;
    if (::RegCreateKeyA(root.Get(), kav::UninstallKeyNameFor(settings.packageCode).c_str(), product.Put()) !=
        ERROR_SUCCESS) {
        return -1;
    }
    for (const kav::UninstallValue& value : values) {
        if (!kav::SetValue(product.Get(), value)) return -1;
    }
    return 0;
}
