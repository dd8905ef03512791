#include "system/DesktopShortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "system/Handles.h"
#include "system/ProductPaths.h"
#include "system/TextCodec.h"

namespace kav {

namespace {

constexpr char kCoInitializeLine[] = "CoInitialize : %d";
constexpr char kCoCreateInstanceLine[] = "CoCreateInstance : %d";
constexpr char kSetPathLine[] = "IShellLink::SetPath : %d";
constexpr char kSetWorkingDirectoryLine[] = "IShellLink::SetWorkingDirectory : %d";
constexpr char kQueryInterfaceLine[] = "IShellLink::QueryInterface : %d";
constexpr char kSaveLine[] = "IPersistFile::Save : %d";
constexpr char kIconOpenMode[] = "r";
constexpr int kIconIndex = 0;

void LogStatus(const char* format, HRESULT result) {
    char line[kShortcutStatusLineBytes] = {};
    std::snprintf(line, sizeof line, format, static_cast<int>(result));
    WriteLogLine(line);
}

std::wstring ToShellText(const std::string& text) {
    return WideFromNarrow(text.c_str(), kGbkCodePage, kShortcutPathUnits);
}

struct FileCloser {
    void operator()(FILE* file) const noexcept { std::fclose(file); }
};

// Fills the link and saves it. COM is initialised on the calling thread.
void SaveShellLink(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingFolder,
                   const std::string& iconPath) {
    ComPtr<IShellLinkW> link;
    const HRESULT created = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                               reinterpret_cast<void**>(link.GetAddressOf()));
    LogStatus(kCoCreateInstanceLine, created);
    if (FAILED(created)) return;

    LogStatus(kSetPathLine, link->SetPath(target.c_str()));
    LogStatus(kSetWorkingDirectoryLine, link->SetWorkingDirectory(workingFolder.c_str()));

    // Without the icon file the shell shows the program's own icon.
    {
        const std::wstring wideIcon = ToShellText(iconPath);
        const std::unique_ptr<FILE, FileCloser> icon(std::fopen(iconPath.c_str(), kIconOpenMode));
        if (icon != nullptr && !wideIcon.empty()) link->SetIconLocation(wideIcon.c_str(), kIconIndex);
    }

    ComPtr<IPersistFile> file;
    const HRESULT queried = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.GetAddressOf()));
    LogStatus(kQueryInterfaceLine, queried);
    if (SUCCEEDED(queried)) LogStatus(kSaveLine, file->Save(linkPath.c_str(), FALSE));
}

}  // namespace

}  // namespace kav

bool CreateDesktopShortcut() {
    const InstallSettings& settings = GetInstallSettings();
    const std::string linkPath = kav::DesktopShortcutPath();
    const std::wstring wideLink = kav::ToShellText(linkPath);
    if (wideLink.empty()) return false;
    WriteLogLine(linkPath.c_str());

    const std::string target = kav::InstalledProgramPathFor(settings.installDir);
    const std::wstring wideTarget = kav::ToShellText(target);
    const std::wstring wideFolder = kav::ToShellText(settings.installDir);
    if (wideTarget.empty() || wideFolder.empty()) return false;
    WriteLogLine(target.c_str());
    WriteLogLine(settings.installDir.c_str());

    const HRESULT initialized = ::CoInitialize(nullptr);
    kav::LogStatus(kav::kCoInitializeLine, initialized);
    if (FAILED(initialized)) return true;
    kav::SaveShellLink(wideLink, wideTarget, wideFolder,
                       kav::ShortcutIconPathFor(settings.installDir, settings.packageCode));
    ::CoUninitialize();
    return true;
}
