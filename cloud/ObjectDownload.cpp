// Downloading one object of the bucket into a local file, with the install's progress.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "cloud/DownloadProgress.h"
#include "cloud/FileResponseStream.h"
#include "cloud/GetObjectRequest.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/ReleasePublicKey.h"
#include "engine/WorkerMessages.h"
#include "system/Folders.h"

namespace {

constexpr char kMissingObjectSuffix[] = ",文件不存在";
constexpr char kTransferFailedFormat[] = "Downfile Fail,code:%s,message:%s,requestId:%s";
constexpr size_t kTransferFailedLineBytes = 2046;
constexpr char kFixFolder[] = "/fix/";
constexpr char kQuantFolder[] = "/quant/";
constexpr char kLocalSeparator[] = "/";
constexpr char kNoDigestCode[] = "Sha256Missing";
constexpr char kNoDigestMessage[] = "the signed summary.ini pins no SHA-256 for ";

void LogTransferFailure(const std::string& code, const std::string& message, const std::string& requestId) {
    char line[kTransferFailedLineBytes] = {};
    std::snprintf(line, sizeof line, kTransferFailedFormat, code.c_str(), message.c_str(), requestId.c_str());
    WriteLogLine(line);
}

}  // namespace

bool IClient::DownloadObject(const char* key, const char* localPath) {
    if (kav::oss::CompiledReleasePublicKey() == nullptr) return FetchObject(key, localPath, nullptr, false, true);
    // The manifest pins packages by their path below the prefix.
    const std::string prefix = objectPrefix + kLocalSeparator;
    const std::string_view fullKey = key;
    const kav::oss::Sha256Digest* expected =
        fullKey.substr(0, prefix.size()) == prefix ? packageDigests.Find(fullKey.substr(prefix.size())) : nullptr;
    return FetchObject(key, localPath, expected, true, true);
}

bool IClient::FetchObject(const char* key, const char* localPath, const kav::oss::Sha256Digest* expected, bool pinned,
                          bool counted) {
    // Without a client object nothing can be fetched: reported like an object that is not there.
    if (ossClient == nullptr) {
        WriteLogLine((std::string(key) + kMissingObjectSuffix).c_str());
        return false;
    }
    const kav::oss::ObjectMetaOutcome meta = ossClient->GetObjectMeta(bucketName, key);
    if (!meta.success) {
        // A proxy that wants credentials is named as such: calling the object missing would send
        // the user looking in the wrong place.
        if (meta.error.code == kav::oss::kProxyAuthenticationCode) {
            LogTransferFailure(meta.error.code, meta.error.message, meta.error.requestId);
        } else {
            WriteLogLine((std::string(key) + kMissingObjectSuffix).c_str());
        }
        return false;
    }
    // A package the signed manifest does not pin is never fetched: it fails as a damaged transfer
    // would, without the retries that could not help.
    if (pinned && expected == nullptr) {
        if (counted) ++downloadsDone;
        LogTransferFailure(kNoDigestCode, kNoDigestMessage + std::string(key), "");
        return false;
    }

    kav::oss::GetObjectRequest request(bucketName, key);
    const std::string path = localPath;
    request.setResponseStreamFactory([path] { return kav::oss::FileResponseStream::Open(path); });
    if (counted) request.setTransferProgress(kav::oss::TransferProgress{&OnTransferProgress, this});
    if (expected != nullptr) request.setExpectedSha256(*expected);

    MakeDirectoryPath(localPath);
    kav::oss::GetObjectOutcome outcome = ossClient->GetObject(request);
    if (counted) ++downloadsDone;
    if (outcome.success) return true;

    outcome.content.reset();
    // Whatever a failed attempt left of a pinned package was not verified: nothing may unpack it.
    if (expected != nullptr) ::DeleteFileA(localPath);
    LogTransferFailure(outcome.error.code, outcome.error.message, outcome.error.requestId);
    return false;
}

bool IClient::DownloadFixPackage(const char* name) {
    const std::string key = objectPrefix + kFixFolder + name;
    const std::string localPath = GetInstallSettings().tempDir + kLocalSeparator + name;
    PostInstallMessage(WM_INSTALL_STEP, StepDownloadFix);
    return DownloadObject(key.c_str(), localPath.c_str());
}

bool IClient::DownloadQuantPackage(const char* name) {
    const std::string key = objectPrefix + kQuantFolder + name;
    const std::string localPath = GetInstallSettings().tempDir + kLocalSeparator + name;
    PostInstallMessage(WM_INSTALL_STEP, StepDownloadQuant);
    return DownloadObject(key.c_str(), localPath.c_str());
}

void OnTransferProgress(std::size_t, std::int64_t transferred, std::int64_t total, void* userData) {
    auto* client = static_cast<IClient*>(userData);
    // Without a body length (or before the account is set up) a percentage means nothing: the
    // bar keeps its last value.
    if (client == nullptr || !kav::HasDownloadProgress(total, client->downloadsExpected)) return;
    const std::int32_t percent =
        kav::DownloadProgressPercent(transferred, total, client->downloadsDone, client->downloadsExpected);
    client->progressPercent = percent;
    PostInstallMessage(WM_INSTALL_PROGRESS, percent);
}
