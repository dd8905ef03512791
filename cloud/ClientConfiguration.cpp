#include "cloud/ClientConfiguration.h"

namespace kav::oss {

namespace {
constexpr char kUserAgentProduct[] = "Kavrindel-Installer/";
constexpr char kUserAgentPlatform[] = " (Windows)";
}  // namespace

std::string DefaultUserAgent() {
    return std::string(kUserAgentProduct) + KAVRINDEL_INSTALLER_VERSION + kUserAgentPlatform;
}

}  // namespace kav::oss
