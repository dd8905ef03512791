// Downloading one object of the bucket into a local file, with the install's progress.
#include <cstdio>
#include <string>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "cloud/DownloadProgress.h"
#include "cloud/FileResponseStream.h"
#include "cloud/GetObjectRequest.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "engine/WorkerMessages.h"
#include "system/Folders.h"

namespace {

constexpr char kMissingObjectSuffix[] = ",文件不存在";
constexpr char kTransferFailedFormat[] = "Downfile Fail,code:%s,message:%s,requestId:%s";
constexpr size_t kTransferFailedLineBytes = 2046;
constexpr char kFixFolder[] = "/fix/";
constexpr char kQuantFolder[] = "/quant/";
constexpr char kLocalSeparator[] = "/";

void WriteTransferFailure(const kav::oss::OssError& error) {
    char line[kTransferFailedLineBytes] = {};
    std::snprintf(line, sizeof line, kTransferFailedFormat, error.code.c_str(), error.message.c_str(),
                  error.requestId.c_str());
    WriteLogLine(line);
}

}  // namespace

bool IClient::DownloadObject(const char* key, const char* localPath) {
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
            WriteTransferFailure(meta.error);
        } else {
            WriteLogLine((std::string(key) + kMissingObjectSuffix).c_str());
        }
        return false;
    }

    kav::oss::GetObjectRequest request(bucketName, key);
    const std::string path = localPath;
    request.setResponseStreamFactory([path] { return kav::oss::FileResponseStream::Open(path); });
    request.setTransferProgress(kav::oss::TransferProgress{&OnTransferProgress, this});

    MakeDirectoryPath(localPath);
    const kav::oss::GetObjectOutcome outcome = ossClient->GetObject(request);
    ++downloadsDone;
    if (outcome.success) return true;
    WriteTransferFailure(outcome.error);
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
