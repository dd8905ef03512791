#include "engine/InstallWorker.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "cloud/IClient.h"
#include "engine/CopyBack.h"
#include "engine/InstallationSwap.h"
#include "engine/MovedAsideRemoval.h"
#include "engine/WorkerMessages.h"
#include "system/DesktopShortcut.h"
#include "system/Folders.h"
#include "system/UninstallEntry.h"
#include "system/UrlProtocol.h"

namespace kav {

namespace {

constexpr DWORD kStepPauseMs = 100;
constexpr size_t kPackageNameBytes = 101;
constexpr size_t kStampBytes = 101;
constexpr size_t kLanguageBytes = 260;

constexpr std::int32_t kProgressAfterRemoval = 5;
constexpr std::int32_t kProgressAfterMove = 4;
constexpr std::int32_t kProgressAfterConfiguration = 1;

// Log lines, exactly as the install log has always had them.
constexpr char kLineDownloadDepend[] = "下载前端依赖库";
constexpr char kLineDownloadDependFailed[] = "下载前端依赖库失败";
constexpr char kLineDownloadBase[] = "下载服务依赖库";
constexpr char kLineDownloadBaseFailed[] = "下载服务依赖库失败";
constexpr char kLineDownloadConfig[] = "下载配置文件";
constexpr char kLineDownloadConfigFailed[] = "下载配置文件失败";
constexpr char kLineDownloadFix[] = "下载运行库";
constexpr char kLineDownloadFixFailed[] = "下载运行库失败";
constexpr char kLineDownloadQuant[] = "下载Quant";
constexpr char kLineDownloadQuantFailed[] = "下载Quant 失败";
constexpr char kLineInstallDepend[] = "安装前端依赖库";
constexpr char kLineInstallDependFailed[] = "安装前端依赖库失败";
constexpr char kLineInstallBase[] = "安装服务依赖库";
constexpr char kLineInstallBaseFailed[] = "安装服务依赖库失败";
constexpr char kLineInstallFix[] = "安装运行库";
constexpr char kLineInstallFixFailed[] = "安装运行库失败";
constexpr char kLineInstallConfig[] = "安装配置文件";
constexpr char kLineInstallConfigFailed[] = "安装配置文件失败";
constexpr char kLineInstallQuant[] = "安装Quant运行库";
constexpr char kLineInstallQuantFailed[] = "安装Quant运行库失败";
constexpr char kLineClean[] = "清理安装文件";
constexpr char kLineSaveVersion[] = "保存更新版本信息";
constexpr char kLineDeleteOld[] = "删除源文件";
constexpr char kLineMoveNew[] = "复制新版本数据到原目录";
constexpr char kLineCopyBackFailed[] = "安装失败：文件被占用";

// Object keys and staging file names, relative to the object prefix and the staging folder.
constexpr char kDependObject[] = "/depend.zip";
constexpr char kBaseObject[] = "/base.zip";
constexpr char kConfigObject[] = "/config.zip";
constexpr char kManifestFile[] = "/summary.ini";
constexpr char kVersionFile[] = "\\update.ini";
constexpr char kPubFile[] = "\\config\\kavrindel.Default.pub";
constexpr char kPriFile[] = "\\config\\kavrindel.Default.pri";

constexpr char kDownloadNameFormat[] = "%s.zip";
constexpr char kExtractNameFormat[] = "/%s.zip";

std::string Format(const char* format, const char* value) {
    char buffer[kPackageNameBytes] = {};
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The failure rule of every step: the line first (the dialog closes the log when it handles the
// message), then the message, then the thread ends.
unsigned Fail(const char* line, int step) {
    WriteLogLine(line);
    PostInstallMessage(WM_INSTALL_FAILED, step);
    return 0;
}

void Begin(const char* line, int step) {
    WriteLogLine(line);
    PostInstallMessage(WM_INSTALL_STEP, step);
}

// The run's own log lies in the install folder, which is about to leave its place: while the old
// folder goes aside (or, when it cannot, is removed) and the staged one takes its place, the log
// file waits in the staging folder (closed, so that no rename or removal meets an open file) and
// then comes back with the rest.
class ParkedLog {
public:
    ParkedLog(const std::string& tempDir) {
        original_ = SetInstallLogAside();
        if (original_.empty()) return;
        const std::string folder = tempDir + kLogFolderSuffix;
        ::CreateDirectoryA(folder.c_str(), nullptr);
        parked_ = folder + original_.substr(original_.find_last_of('\\'));
        if (!::MoveFileExA(original_.c_str(), parked_.c_str(), MOVEFILE_COPY_ALLOWED)) {
            parked_.clear();
            ResumeInstallLog(original_);  // it stays where it was, as does the folder around it
        }
    }

    // After the move: the file is back at its own path; after a failed move, where it still is.
    void Resume() {
        if (original_.empty()) return;
        const DWORD attributes = ::GetFileAttributesA(original_.c_str());
        const bool backInPlace = attributes != INVALID_FILE_ATTRIBUTES || parked_.empty();
        ResumeInstallLog(backInPlace ? original_ : parked_);
    }

private:
    std::string original_;
    std::string parked_;
};

void WriteProfile(const char* section, const char* key, const char* value, const std::string& file) {
    ::WritePrivateProfileStringA(section, key, value, file.c_str());
}

}  // namespace

}  // namespace kav

void CleanInstallFiles(IClient* client) {
    const std::string& temp = GetInstallSettings().tempDir;
    DeleteDirectoryTree((temp + kav::kManifestFile).c_str());
    DeleteDirectoryTree((temp + kManifestSignatureName).c_str());
    DeleteDirectoryTree((temp + kav::kDependObject).c_str());
    DeleteDirectoryTree((temp + kav::kBaseObject).c_str());
    DeleteDirectoryTree((temp + kav::kConfigObject).c_str());
    DeleteDirectoryTree((temp + kav::Format(kav::kExtractNameFormat, client->fixPackage)).c_str());
    DeleteDirectoryTree((temp + kav::Format(kav::kExtractNameFormat, client->quantPackage)).c_str());
}

unsigned __stdcall InstallWorker(void* clientAddress) {
    using namespace kav;
    IClient& client = *static_cast<IClient*>(clientAddress);
    InstallSettings& settings = GetInstallSettings();
    const std::string& temp = settings.tempDir;
    const std::string& prefix = client.objectPrefix;

    ::Sleep(kStepPauseMs);

    WriteLogLine(kLineDownloadDepend);
    if (client.downloadDepend) {
        PostInstallMessage(WM_INSTALL_STEP, StepDownloadDepend);
        if (!client.DownloadObject((prefix + kDependObject).c_str(), (temp + kDependObject).c_str())) {
            return Fail(kLineDownloadDependFailed, StepDownloadDepend);
        }
    }

    Begin(kLineDownloadBase, StepDownloadBase);
    if (!client.DownloadObject((prefix + kBaseObject).c_str(), (temp + kBaseObject).c_str())) {
        return Fail(kLineDownloadBaseFailed, StepDownloadBase);
    }

    Begin(kLineDownloadConfig, StepDownloadConfig);
    if (!client.DownloadObject((prefix + kConfigObject).c_str(), (temp + kConfigObject).c_str())) {
        return Fail(kLineDownloadConfigFailed, StepDownloadConfig);
    }

    WriteLogLine(kLineDownloadFix);
    if (!client.DownloadFixPackage(Format(kDownloadNameFormat, client.fixPackage).c_str())) {
        return Fail(kLineDownloadFixFailed, StepDownloadFix);
    }

    if (client.hasQuant) {
        WriteLogLine(kLineDownloadQuant);
        if (!client.DownloadQuantPackage(Format(kDownloadNameFormat, client.quantPackage).c_str())) {
            return Fail(kLineDownloadQuantFailed, StepDownloadQuant);
        }
    }

    Begin(kLineInstallDepend, StepInstallDepend);
    if (!client.ExtractPackage((temp + kDependObject).c_str(), settings.dependBaseDir.c_str())) {
        return Fail(kLineInstallDependFailed, StepInstallDepend);
    }

    ::Sleep(kStepPauseMs);
    Begin(kLineInstallBase, StepInstallBase);
    if (!client.ExtractPackage((temp + kBaseObject).c_str(), temp.c_str())) {
        return Fail(kLineInstallBaseFailed, StepInstallBase);
    }

    ::Sleep(kStepPauseMs);
    Begin(kLineInstallFix, StepInstallFix);
    if (!client.ExtractPackage((temp + Format(kExtractNameFormat, client.fixPackage)).c_str(), temp.c_str())) {
        return Fail(kLineInstallFixFailed, StepInstallFix);
    }

    ::Sleep(kStepPauseMs);
    Begin(kLineInstallConfig, StepInstallConfig);
    if (!client.ExtractPackage((temp + kConfigObject).c_str(), temp.c_str())) {
        return Fail(kLineInstallConfigFailed, StepInstallConfig);
    }

    ::Sleep(kStepPauseMs);
    if (client.hasQuant) {
        Begin(kLineInstallQuant, StepInstallQuant);
        if (!client.ExtractPackage((temp + Format(kExtractNameFormat, client.quantPackage)).c_str(), temp.c_str())) {
            return Fail(kLineInstallQuantFailed, StepInstallQuant);
        }
        ::Sleep(kStepPauseMs);
    }

    Begin(kLineClean, StepCleanInstallFiles);
    CleanInstallFiles(&client);
    ::Sleep(kStepPauseMs);

    // The staged installation is made complete before it replaces anything: the version file and
    // the product's two configuration values go into the staging folder, so whatever takes the old
    // installation's place is whole.
    Begin(kLineSaveVersion, StepSaveVersion);
    const std::string versionFile = temp + kVersionFile;
    char stamp[kStampBytes] = {};
    std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(client.cfgTime));
    WriteProfile("cfgstamp", "time", stamp, versionFile);
    WriteProfile("version", "cur", client.fixPackage, versionFile);
    WriteProfile("version", "quant", client.quantPackage, versionFile);
    WriteProfile("kavrindel", "package", settings.packageCode.c_str(), temp + kPubFile);
    char language[kLanguageBytes] = {};
    std::snprintf(language, sizeof language, "%d", static_cast<int>(settings.uiLanguageId));
    WriteProfile("kavrindel", "language", language, temp + kPriFile);
    settings.installedVersion = client.fixPackage;
    if (!ContinueAfter(SwapStage::StagingComplete)) return 0;

    const std::string& installDir = settings.installDir;
    Begin(kLineDeleteOld, StepDeleteOldInstall);
    ParkedLog log(temp);
    const MoveAsideResult aside = MoveInstallationAside(installDir);
    // A folder that cannot be moved aside is removed as far as it can be; the copy below then
    // brings the new version over what is left.
    if (aside == MoveAsideResult::Refused) DeleteDirectoryTree(installDir.c_str());
    client.progressPercent += kProgressAfterRemoval;
    PostInstallMessage(WM_INSTALL_PROGRESS, client.progressPercent);
    if (!ContinueAfter(SwapStage::OldOutOfPlace)) return 0;

    ::Sleep(kStepPauseMs);
    WriteLogLine(kLineMoveNew);
    const bool copied = !PlaceStagedFolder(temp, installDir);
    if (copied && aside != MoveAsideResult::Refused) {
        // The staged folder cannot be renamed into place: it lies on another volume than the
        // install folder (or a file in it is held open). It is copied beside the install folder, on that folder's volume, checked
        // and then renamed into place; the place never holds a partial copy, and the old
        // installation stays whole aside until the new one has taken its place.
        const std::string beside = CopiedBesideFolderFor(installDir);
        if (PathPresent(beside)) DeleteDirectoryTree(beside.c_str());
        const std::optional<std::string> command = CopyBackCommandLine(temp, beside);
        const bool copiedBeside = command && RunCopyBack(*command) && StagedFilesInPlace(temp, beside);
        if (copiedBeside && !ContinueAfter(SwapStage::CopiedBeside)) return 0;
        if (!copiedBeside || !PlaceStagedFolder(beside, installDir)) {
            DeleteDirectoryTree(beside.c_str());
            if (aside == MoveAsideResult::MovedAside) PutMovedAsideBack(installDir);
            log.Resume();
            return Fail(kLineCopyBackFailed, StepFilesOccupied);
        }
    } else if (copied) {
        // The old folder could not be moved aside (a file in it is open) and was removed as far as
        // it could be: the copy goes over what is left of it.
        const std::optional<std::string> command = CopyBackCommandLine(temp, installDir);
        if (!command || !RunCopyBack(*command) || !StagedFilesInPlace(temp, installDir)) {
            log.Resume();
            return Fail(kLineCopyBackFailed, StepFilesOccupied);
        }
    }
    if (!ContinueAfter(SwapStage::NewInPlace)) return 0;
    log.Resume();

    client.progressPercent += kProgressAfterMove;
    PostInstallMessage(WM_INSTALL_PROGRESS, client.progressPercent);
    if (copied) DeleteDirectoryTree(temp.c_str());

    RegisterUninstallEntry();
    RegisterUrlProtocol();
    CreateDesktopShortcut();
    if (!ContinueAfter(SwapStage::Registered)) return 0;

    CloseInstallLog();

    client.progressPercent += kProgressAfterConfiguration;
    PostInstallMessage(WM_INSTALL_PROGRESS, client.progressPercent);
    const bool oldAside = aside == MoveAsideResult::MovedAside;
    if (oldAside) BeginMovedAsideRemoval();
    PostInstallMessage(WM_INSTALL_DONE, 0);
    if (oldAside) {
        DiscardMovedAside(installDir);
        EndMovedAsideRemoval();
    }
    return 1;
}
