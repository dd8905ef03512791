#pragma once
// The storage library's process-wide start and end: the WinHTTP session every request runs in
// and the CNG HMAC-SHA1 provider that signs them. Both calls may be repeated; only the first
// InitializeSdk and the first ShutdownSdk after it do anything.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "cloud/ProxyRoute.h"

namespace kav::oss {

void InitializeSdk();
void ShutdownSdk();

// Whether InitializeSdk has set everything up (and ShutdownSdk has not run since).
bool IsSdkInitialized();

// The shared WinHTTP session without proxy; null outside InitializeSdk/ShutdownSdk.
HINTERNET SdkSession();

// The session for a request to the target, following the user's proxy settings (decided on the
// first request to the target after InitializeSdk, then kept); proxy receives the proxy's
// "host:port", empty for a direct connection. Null outside InitializeSdk/ShutdownSdk, or when the
// proxy's session cannot be opened.
HINTERNET SdkSessionFor(const ProxyTarget& target, std::wstring& proxy);

}  // namespace kav::oss
