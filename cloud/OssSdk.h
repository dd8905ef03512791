#pragma once
// The storage library's process-wide start and end: the WinHTTP session every request runs in
// and the CNG HMAC-SHA1 provider that signs them. Both calls may be repeated; only the first
// InitializeSdk and the first ShutdownSdk after it do anything.
#include <windows.h>
#include <winhttp.h>

namespace kav::oss {

void InitializeSdk();
void ShutdownSdk();

// Whether InitializeSdk has set everything up (and ShutdownSdk has not run since).
bool IsSdkInitialized();

// The shared WinHTTP session; null outside InitializeSdk/ShutdownSdk.
HINTERNET SdkSession();

}  // namespace kav::oss
