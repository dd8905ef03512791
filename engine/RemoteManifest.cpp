// Reading the bucket's manifest (summary.ini) into the cloud client.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/InstallSettings.h"
#include "cloud/IClient.h"

namespace {

constexpr char kManifestName[] = "/summary.ini";
constexpr char kStampSection[] = "cfgstamp";
constexpr char kStampKey[] = "time";
constexpr char kFixSection[] = "fixstamp";
constexpr char kQuantSection[] = "quant";
constexpr char kNoDefault[] = "";
constexpr DWORD kStampBufferBytes = 101;
constexpr int kDecimal = 10;

}  // namespace

bool IClient::ReadRemoteManifest() {
    const InstallSettings& settings = GetInstallSettings();
    const std::string key = objectPrefix + kManifestName;
    const std::string localPath = settings.tempDir + kManifestName;
    if (!DownloadObject(key.c_str(), localPath.c_str())) return false;

    char stamp[kStampBufferBytes] = {};
    ::GetPrivateProfileStringA(kStampSection, kStampKey, kNoDefault, stamp, kStampBufferBytes, localPath.c_str());
    cfgTime = _strtoi64(stamp, nullptr, kDecimal);

    ::GetPrivateProfileStringA(kFixSection, settings.packageCode.c_str(), kNoDefault, fixPackage, sizeof fixPackage,
                               localPath.c_str());
    ::GetPrivateProfileStringA(kQuantSection, settings.packageCode.c_str(), kNoDefault, quantPackage,
                               sizeof quantPackage, localPath.c_str());

    hasQuant = quantPackage[0] != '\0';
    if (hasQuant) downloadsExpected += 1;
    return true;
}
