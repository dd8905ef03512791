#pragma once
// The one process-wide record of what many parts of the installer need: the product identity from
// the string table, the folders of the install, the UI language and the version just installed.
// All text is narrow, code page 936.
#include <cstdint>
#include <string>

struct InstallSettings {
    std::string packageCode;        // string 103, "201805"
    std::string productTitle;       // string 104, 105 or 106 by UI language
    std::string installDir;         // parent + "\" + productFolderName, no trailing backslash
    std::string logDir;             // installDir + "\kavrindellog"
    std::string tempDir;            // the first installDir + "temp": a sibling of the install folder
    std::string dependBaseDir;      // local application data + "\KAvrindelDependBaseV9.5"
    std::string productFolderName;  // "KAvrindel" (or string 107) + string 103 + "v9.5"
    std::int32_t uiLanguageId = 0;  // 1033 English, 1028 traditional Chinese, else simplified
    std::string installedVersion;   // the runtime package just installed; empty before
};

// The single record. Created on first use (safe from two threads) and never destroyed before the
// process ends, since a worker thread may still read it while the program exits.
InstallSettings& GetInstallSettings();

// Sets packageCode, uiLanguageId and productTitle from the string table and the user's UI language.
void SelectUiLanguage();

// Sets every folder from the console user's local application-data folder. Called once.
void DeriveInstallPaths();

// Moves the install and log folders under the picked folder; tempDir and dependBaseDir stay.
void RebaseInstallDir(const std::string& pickedFolder);

namespace kav {

constexpr std::int32_t kLanguageEnglish = 1033;
constexpr std::int32_t kLanguageTraditional = 1028;
constexpr std::int32_t kLanguageHongKong = 3076;

constexpr char kDefaultFolderStem[] = "KAvrindel";
constexpr char kFolderVersionSuffix[] = "v9.5";
constexpr char kLogFolderSuffix[] = "\\kavrindellog";
constexpr char kTempFolderSuffix[] = "temp";
constexpr char kDependFolderName[] = "KAvrindelDependBaseV9.5";

// The UI language the installer uses for a system UI language: Hong Kong Chinese becomes 1028.
std::int32_t EffectiveUiLanguage(unsigned short systemLanguage);

// The string-table id of the product title for a UI language.
unsigned TitleResourceFor(std::int32_t uiLanguageId);

// Fills the folder fields of settings from base (the local application-data folder),
// folderStem (string 107, empty when absent) and packageCode (string 103).
void DerivePathsFrom(InstallSettings& settings, const std::string& base, const std::string& folderStem,
                     const std::string& packageCode);

}  // namespace kav
