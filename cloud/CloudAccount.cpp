// Setting up and releasing the cloud account of IClient.
#include "cloud/AccountText.h"
#include "cloud/IClient.h"
#include "cloud/OssSdk.h"
#include "cloud/OssAccountSettings.h"

namespace {
constexpr std::int32_t kDownloadsWithoutQuant = 5;
}  // namespace

void IClient::InitCloudAccount() {
    kav::SplitAccountText(kav::kOssAccountText, kav::kOssSecretPositions, accessKeyId, accessKeySecret);
    endpoint = kav::kOssEndpoint;
    bucketName = kav::kOssBucket;
    downloadDepend = false;
    downloadsExpected = kDownloadsWithoutQuant;
    downloadsDone = 0;
}

void IClient::ReleaseCloudAccount() {
    kav::oss::ShutdownSdk();
    objectPrefix.clear();
    bucketName.clear();
    endpoint.clear();
    accessKeySecret.clear();
    accessKeyId.clear();
}
