#include "app/InstallSettings.h"

#include <windows.h>

#include "app/StringTable.h"
#include "resources/ResourceIds.h"
#include "system/InteractiveUser.h"
#include "system/TextCodec.h"

namespace kav {

namespace {

constexpr size_t kTitleConversionUnits = 1024;
constexpr size_t kTitleConversionBytes = 1024;
constexpr size_t kResourceTextMaxBytes = 259;

// A traditional-Chinese title is stored in the string table as Big5 text; the installer's narrow
// text is code page 936, so it goes through UTF-16 once.
std::string TraditionalTitleAsGbk(const std::string& big5) {
    const std::wstring wide = WideFromNarrow(big5.c_str(), kBig5CodePage, kTitleConversionUnits);
    std::string gbk = NarrowFromWide(wide.c_str(), kGbkCodePage, kTitleConversionBytes);
    if (gbk.size() > kResourceTextMaxBytes) gbk.resize(kResourceTextMaxBytes);
    return gbk;
}

}  // namespace

std::int32_t EffectiveUiLanguage(unsigned short systemLanguage) {
    if (systemLanguage == kLanguageHongKong) return kLanguageTraditional;
    return static_cast<std::int32_t>(systemLanguage);
}

unsigned TitleResourceFor(std::int32_t uiLanguageId) {
    if (uiLanguageId == kLanguageTraditional) return IDS_TITLE_TRADITIONAL;
    if (uiLanguageId == kLanguageEnglish) return IDS_TITLE_ENGLISH;
    return IDS_TITLE_SIMPLIFIED;
}

void DerivePathsFrom(InstallSettings& settings, const std::string& base, const std::string& folderStem,
                     const std::string& packageCode) {
    settings.dependBaseDir = base + "\\" + kDependFolderName;
    settings.productFolderName = folderStem.empty() ? kDefaultFolderStem : folderStem;
    settings.productFolderName += packageCode;
    settings.productFolderName += kFolderVersionSuffix;
    settings.installDir = base + "\\" + settings.productFolderName;
    settings.logDir = settings.installDir + kLogFolderSuffix;
    settings.tempDir = settings.installDir + kTempFolderSuffix;
}

}  // namespace kav

InstallSettings& GetInstallSettings() {
    // Deliberately never destroyed: a worker may still use it while the process exits.
    static InstallSettings* const settings = new InstallSettings();
    return *settings;
}

void SelectUiLanguage() {
    InstallSettings& settings = GetInstallSettings();
    settings.packageCode = kav::ReadResourceString(IDS_PACKAGE_CODE);
    settings.uiLanguageId = kav::EffectiveUiLanguage(::GetUserDefaultUILanguage());
    const unsigned titleId = kav::TitleResourceFor(settings.uiLanguageId);
    std::string title = kav::ReadResourceString(titleId);
    if (titleId == IDS_TITLE_TRADITIONAL) title = kav::TraditionalTitleAsGbk(title);
    settings.productTitle = title;
}

void DeriveInstallPaths() {
    InstallSettings& settings = GetInstallSettings();
    std::string base = settings.installDir;  // empty on the one call
    GetInteractiveUserLocalAppData(base);
    kav::DerivePathsFrom(settings, base, kav::ReadResourceString(IDS_FOLDER_NAME_STEM),
                         kav::ReadResourceString(IDS_PACKAGE_CODE));
}

void RebaseInstallDir(const std::string& pickedFolder) {
    InstallSettings& settings = GetInstallSettings();
    settings.installDir = pickedFolder + "\\" + settings.productFolderName;
    settings.logDir = settings.installDir + kav::kLogFolderSuffix;
}
