#pragma once
// The storage client's settings. The defaults are what the installer uses.
#include <string>

namespace kav::oss {

// "Kavrindel-Installer/<version> (Windows)".
std::string DefaultUserAgent();

struct ClientConfiguration {
    std::string userAgent = DefaultUserAgent();
    // Connecting (name resolution included) may take this long.
    long connectTimeoutMs = 5000;
    // Each wait on the connection may take this long: sending the request, the response headers,
    // each receive of body data. A transfer as a whole has no time limit.
    long requestTimeoutMs = 10000;
    int maxRetries = 3;
    long retryScaleMs = 300;
    // Requests per downloaded object at most, however many of them made progress.
    int maxDownloadAttempts = 16;
    bool enableCrc64 = true;
    // Requests follow the proxy settings of the user running the installer, as WinHTTP reads
    // them (see ProxySessions). HTTPS always verifies the server's certificate, through a proxy too.
};

}  // namespace kav::oss
