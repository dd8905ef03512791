#pragma once
// The installer's cloud client: the storage account, the storage client object, the values read
// from the remote manifest and the counters from which the progress bar is computed. The dialog
// class derives from it, so the one dialog object is also the one client; the worker gets the
// address of this part.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cloud/PackageDigests.h"

namespace kav::oss {
class OssClient;
}

class IClient {
public:
    std::string accessKeyId;      // 24 characters
    std::string accessKeySecret;  // 30 characters
    std::string endpoint;         // host name of the storage service, no scheme
    std::string bucketName;       // 9 characters
    std::string objectPrefix;     // folder of every object key, "9.5KAvrindelIE"
    kav::oss::OssClient* ossClient = nullptr;  // created once, kept until the process ends
    std::int64_t cfgTime = 0;
    char fixPackage[21] = {};     // runtime package name, at most 20 characters
    char quantPackage[21] = {};   // Quant runtime package name, empty when there is none
    bool downloadDepend = false;  // whether the front-end dependency package is downloaded
    std::int32_t downloadsExpected = 0;  // downloads sharing the download part of the bar: 5 or 6
    std::int32_t downloadsDone = 0;      // downloads finished so far, successful or not
    std::int32_t progressPercent = 0;    // the percentage last computed for the progress bar
    bool hasQuant = false;
    // The packages' SHA-256 from the verified manifest; every package download must match its
    // entry unless the build verifies no releases.
    kav::oss::PackageDigests packageDigests;

    // Account set-up and release (cloud/CloudAccount.cpp).
    void InitCloudAccount();
    void ReleaseCloudAccount();

    // The remote manifest (engine/RemoteManifest.cpp).
    bool ReadRemoteManifest();

    // Object download with progress (cloud/ObjectDownload.cpp).
    bool DownloadObject(const char* key, const char* localPath);
    bool DownloadFixPackage(const char* name);
    bool DownloadQuantPackage(const char* name);

    // Package extraction with its progress share (archive/ExtractPackage.cpp).
    bool ExtractPackage(const char* archivePath, const char* destination);

private:
    // DownloadObject's work. expected: the digest the body must have (null: none); pinned: a
    // missing digest fails the download; counted: the download advances downloadsDone and posts
    // progress.
    bool FetchObject(const char* key, const char* localPath, const kav::oss::Sha256Digest* expected, bool pinned,
                     bool counted);
};

// The download progress handler; userData is the IClient.
void OnTransferProgress(std::size_t increment, std::int64_t transferred, std::int64_t total, void* userData);

constexpr char kObjectPrefix[] = "9.5KAvrindelIE";
// The manifest's signature: its object below the prefix and its local copy in the staging folder.
constexpr char kManifestSignatureName[] = "/summary.ini.sig";
