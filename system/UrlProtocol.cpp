#include "system/UrlProtocol.h"

#include <windows.h>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "system/Handles.h"
#include "system/ProductPaths.h"
#include "system/RegistryRoots.h"

namespace kav {

namespace {

constexpr char kSchemeDescription[] = "KavrindelProtocol";
constexpr char kIconIndexSuffix[] = ",1";

bool SetText(HKEY key, const char* name, const std::string& text) {
    return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

// The scheme key opened for setting values; created first when it does not exist yet.
UniqueRegKey OpenSchemeKey(const std::string& scheme) {
    const HKEY classes = RegistryRootKey(RegistryRoot::ClassesRoot);
    UniqueRegKey key;
    if (::RegOpenKeyExA(classes, scheme.c_str(), 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS) return key;
    {
        UniqueRegKey created;
        if (::RegCreateKeyA(classes, scheme.c_str(), created.Put()) != ERROR_SUCCESS) {
            WriteLogLine(kUrlLogCreateKeyFailed);
            return {};
        }
    }
    if (::RegOpenKeyExA(classes, scheme.c_str(), 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) {
        WriteLogLine(kUrlLogOpenKeyFailed);
        return {};
    }
    return key;
}

// Runs one step; false (after its log line) when a call failed.
bool RunStep(HKEY schemeKey, const UrlSchemeStep& step) {
    UniqueRegKey subkey;
    HKEY target = schemeKey;
    if (step.subkey != nullptr) {
        if (::RegCreateKeyA(schemeKey, step.subkey, subkey.Put()) != ERROR_SUCCESS) {
            WriteLogLine(step.createFailedLine);
            return false;
        }
        target = subkey.Get();
    }
    if (step.valueName != nullptr && !SetText(target, step.valueName, step.value)) {
        WriteLogLine(step.setFailedLine);
        return false;
    }
    return true;
}

}  // namespace

std::string UrlSchemeNameFor(const std::string& packageCode) { return kUrlSchemePrefix + packageCode; }

std::vector<UrlSchemeStep> UrlSchemeStepsFor(const std::string& installDir) {
    constexpr size_t kMaxText = kUrlSchemeTextBuffer - 1;
    const std::string program = TruncatedText(InstalledProgramPathFor(installDir), kMaxText);
    const std::string icon = TruncatedText(program + kIconIndexSuffix, kMaxText);
    return {
        {nullptr, "URL Protocol", program, nullptr, "URL Schemes: URL Protocol Setvalue Failed"},
        {nullptr, "", kSchemeDescription, nullptr, "URL Schemes: KavrindelProtocol Setvalue Failed"},
        {"DefaultIcon", "", icon, "URL Schemes: Create DefaultIcon key Failed", "URL Schemes: DefaultIcon Setvalue Failed"},
        {"shell", nullptr, {}, "URL Schemes: Create shell key Failed", nullptr},
        {"shell\\open", nullptr, {}, "URL Schemes: Create shellopen key Failed", nullptr},
        {"shell\\open\\command", "", program, "URL Schemes: Create shellopencommand key Failed",
         "URL Schemes: shellopencommand Setvalue Failed"},
    };
}

}  // namespace kav

void RegisterUrlProtocol() {
    WriteLogLine(kav::kUrlLogStart);
    const InstallSettings& settings = GetInstallSettings();
    const kav::UniqueRegKey schemeKey = kav::OpenSchemeKey(kav::UrlSchemeNameFor(settings.packageCode));
    if (!schemeKey) return;
    for (const kav::UrlSchemeStep& step : kav::UrlSchemeStepsFor(settings.installDir)) {
        if (!kav::RunStep(schemeKey.Get(), step)) return;
    }
    WriteLogLine(kav::kUrlLogFinish);
}
