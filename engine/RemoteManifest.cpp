// Reading the bucket's manifest (summary.ini) into the cloud client. A build with a release key
// first checks the manifest's signature (summary.ini.sig) and reads no value of a manifest that
// fails it; the verified manifest then pins each package's SHA-256.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "cloud/IClient.h"
#include "cloud/ReleasePublicKey.h"
#include "cloud/ReleaseSignature.h"
#include "cloud/Sha256.h"
#include "system/Handles.h"

namespace {

constexpr char kManifestName[] = "/summary.ini";
constexpr char kStampSection[] = "cfgstamp";
constexpr char kStampKey[] = "time";
constexpr char kFixSection[] = "fixstamp";
constexpr char kQuantSection[] = "quant";
constexpr char kDigestSection[] = "sha256";
constexpr char kNoDefault[] = "";
constexpr DWORD kStampBufferBytes = 101;
constexpr int kDecimal = 10;

// Package paths below the prefix, as the [sha256] keys name them.
constexpr char kDependPath[] = "depend.zip";
constexpr char kBasePath[] = "base.zip";
constexpr char kConfigPath[] = "config.zip";
constexpr char kFixFolder[] = "fix/";
constexpr char kQuantFolder[] = "quant/";
constexpr char kPackageExtension[] = ".zip";
// 64 hex digits; a longer value does not fit and so reads as no digest.
constexpr DWORD kDigestBufferBytes = 66;

constexpr DWORD kManifestReadBytes = 64 * 1024;
// One line of base64 of 64 bytes is 88 characters; anything much longer is no signature.
constexpr DWORD kSignatureFileMaxBytes = 256;

// Log lines for a manifest whose signature does not hold: the signature's key, then the cause.
constexpr char kSignatureMalformedSuffix[] = ",签名格式错误";
constexpr char kSignatureInvalidSuffix[] = ",签名验证失败";
constexpr char kSignatureUncheckedSuffix[] = ",无法验证签名";
constexpr char kManifestUnreadableSuffix[] = ",文件无法读取";

// Opens a file for reading and keeps others from changing, replacing or deleting it while the
// handle is open (the profile API still reads it).
kav::UniqueHandle OpenLocked(const std::string& path) {
    return kav::UniqueHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool HashFile(HANDLE file, kav::oss::Sha256Digest& digest) {
    kav::oss::Sha256 hash;
    std::string buffer(kManifestReadBytes, '\0');
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), kManifestReadBytes, &got, nullptr)) return false;
        if (got == 0) break;
        if (!hash.Update(buffer.data(), got)) return false;
    }
    return hash.Finish(digest);
}

// The file's text, or false when it cannot be read or is longer than maxBytes.
bool ReadSmallFile(const std::string& path, DWORD maxBytes, std::string& text) {
    const kav::UniqueHandle file = OpenLocked(path);
    if (!file) return false;
    text.assign(maxBytes + 1, '\0');
    DWORD filled = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), text.data() + filled, maxBytes + 1 - filled, &got, nullptr)) return false;
        if (got == 0) break;
        filled += got;
        if (filled > maxBytes) return false;
    }
    text.resize(filled);
    return true;
}

void ReadDigest(const std::string& manifest, const std::string& path, kav::oss::PackageDigests& digests) {
    char value[kDigestBufferBytes] = {};
    ::GetPrivateProfileStringA(kDigestSection, path.c_str(), kNoDefault, value, kDigestBufferBytes, manifest.c_str());
    kav::oss::Sha256Digest digest{};
    if (kav::oss::ParseSha256Hex(value, digest)) digests.Set(path, digest);
}

// Checks the downloaded manifest against its signature; one log line naming the cause when it does
// not hold. On success held keeps the manifest open, so that it cannot change until it has been read.
bool CheckManifest(const std::string& manifestKey, const std::string& manifestPath, const std::string& signatureKey,
                   const std::string& signaturePath, kav::UniqueHandle& held) {
    kav::oss::Sha256Digest digest{};
    held = OpenLocked(manifestPath);
    if (!held || !HashFile(held.Get(), digest)) {
        WriteLogLine((manifestKey + kManifestUnreadableSuffix).c_str());
        return false;
    }
    std::string signatureText;
    if (!ReadSmallFile(signaturePath, kSignatureFileMaxBytes, signatureText)) {
        WriteLogLine((signatureKey + kSignatureMalformedSuffix).c_str());
        return false;
    }
    switch (kav::oss::CheckManifestSignature(*kav::oss::CompiledReleasePublicKey(), digest, signatureText)) {
        case kav::oss::ManifestSignatureCheck::Valid:
            return true;
        case kav::oss::ManifestSignatureCheck::Malformed:
            WriteLogLine((signatureKey + kSignatureMalformedSuffix).c_str());
            return false;
        case kav::oss::ManifestSignatureCheck::Invalid:
            WriteLogLine((signatureKey + kSignatureInvalidSuffix).c_str());
            return false;
        case kav::oss::ManifestSignatureCheck::Unavailable:
            break;
    }
    WriteLogLine((signatureKey + kSignatureUncheckedSuffix).c_str());
    return false;
}

}  // namespace

bool IClient::ReadRemoteManifest() {
    const InstallSettings& settings = GetInstallSettings();
    const std::string key = objectPrefix + kManifestName;
    const std::string localPath = settings.tempDir + kManifestName;
    packageDigests.Clear();
    if (!FetchObject(key.c_str(), localPath.c_str(), nullptr, false, true)) return false;

    // The signature belongs to the manifest's download: it posts no progress and is not counted,
    // so the manifest's and the packages' shares of the bar stay as they are.
    const bool verifying = kav::oss::CompiledReleasePublicKey() != nullptr;
    const std::string signatureKey = objectPrefix + kManifestSignatureName;
    const std::string signaturePath = settings.tempDir + kManifestSignatureName;
    kav::UniqueHandle verified;
    if (verifying && (!FetchObject(signatureKey.c_str(), signaturePath.c_str(), nullptr, false, false) ||
                      !CheckManifest(key, localPath, signatureKey, signaturePath, verified))) {
        return false;
    }

    char stamp[kStampBufferBytes] = {};
    ::GetPrivateProfileStringA(kStampSection, kStampKey, kNoDefault, stamp, kStampBufferBytes, localPath.c_str());
    cfgTime = _strtoi64(stamp, nullptr, kDecimal);

    ::GetPrivateProfileStringA(kFixSection, settings.packageCode.c_str(), kNoDefault, fixPackage, sizeof fixPackage,
                               localPath.c_str());
    ::GetPrivateProfileStringA(kQuantSection, settings.packageCode.c_str(), kNoDefault, quantPackage,
                               sizeof quantPackage, localPath.c_str());

    hasQuant = quantPackage[0] != '\0';
    if (hasQuant) downloadsExpected += 1;

    if (verifying) {
        ReadDigest(localPath, kDependPath, packageDigests);
        ReadDigest(localPath, kBasePath, packageDigests);
        ReadDigest(localPath, kConfigPath, packageDigests);
        ReadDigest(localPath, std::string(kFixFolder) + fixPackage + kPackageExtension, packageDigests);
        if (hasQuant) ReadDigest(localPath, std::string(kQuantFolder) + quantPackage + kPackageExtension, packageDigests);
    }
    return true;
}
