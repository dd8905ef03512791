#include "system/DpiAwareness.h"

#include <cstdio>

#include "app/InstallSettings.h"
#include "system/SafeLibrary.h"

namespace kav {

namespace {

constexpr wchar_t kShcoreLibrary[] = L"shcore.dll";
constexpr int kPerMonitorDpiAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE
constexpr int kEffectiveDpi = 0;        // MDT_EFFECTIVE_DPI
constexpr size_t kConfigPathBytes = 2048;
constexpr char kConfigPathFormat[] = "%s/config/kavrindel.Default.pri";
constexpr char kConfigSection[] = "kavrindel";
constexpr char kAwareDpiKey[] = "awaredpi";

}  // namespace

int HighDpiFlagFor(UINT dpi) { return dpi % kBaseDpi == 0 && dpi / kBaseDpi > 1 ? 1 : 0; }

std::string DpiConfigFilePath(const std::string& installDir) {
    char path[kConfigPathBytes] = {};
    const int length = std::snprintf(path, sizeof path, kConfigPathFormat, installDir.c_str());
    // A cut path would name some other file; writing nothing is the safe outcome.
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) return {};
    return std::string(path, static_cast<size_t>(length));
}

int RecordDpiAwareness(const DpiFunctions& functions, const std::string& installDir) {
    int flag = 0;
    if (functions.setProcessDpiAwareness != nullptr && functions.getDpiForMonitor != nullptr) {
        functions.setProcessDpiAwareness(kPerMonitorDpiAware);
        UINT dpiX = kBaseDpi;
        UINT dpiY = kBaseDpi;
        HMONITOR monitor = ::MonitorFromWindow(::GetDesktopWindow(), MONITOR_DEFAULTTONEAREST);
        functions.getDpiForMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY);
        flag = HighDpiFlagFor(dpiX);
    }
    const std::string path = DpiConfigFilePath(installDir);
    if (path.empty()) return 0;
    char value[16] = {};
    std::snprintf(value, sizeof value, "%d", flag);
    return ::WritePrivateProfileStringA(kConfigSection, kAwareDpiKey, value, path.c_str());
}

}  // namespace kav

int WriteDpiAwareness() {
    // Loaded from System32 only: a SHCore.dll planted beside the elevated installer must not run.
    HMODULE shcore = kav::LoadSystemLibrary(kav::kShcoreLibrary);
    if (shcore == nullptr) return 0;
    kav::DpiFunctions functions;
    functions.setProcessDpiAwareness =
        kav::GetLibraryFunction<kav::SetProcessDpiAwarenessFn>(shcore, "SetProcessDpiAwareness");
    functions.getDpiForMonitor = kav::GetLibraryFunction<kav::GetDpiForMonitorFn>(shcore, "GetDpiForMonitor");
    return kav::RecordDpiAwareness(functions, GetInstallSettings().installDir);
}
