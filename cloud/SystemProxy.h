#pragma once
// The system calls behind the proxy decision: the user's proxy settings as WinHTTP reads them, and
// what the configuration script or auto-detection answers for one URL.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "cloud/ProxyRoute.h"
#include "cloud/WinHttpApi.h"

namespace kav::oss {

// WinHttpGetIEProxyConfigForCurrentUser; settings without any proxy when the call fails.
UserProxySettings ReadUserProxySettings(const WinHttpApi& api);

// WinHttpGetProxyForUrl for the URL with the script and/or auto-detection the settings name, in
// the given session. Not answered when no script could be found, fetched or run.
ScriptAnswer AskProxyScript(const WinHttpApi& api, HINTERNET session, const UserProxySettings& settings,
                            const std::wstring& url);

}  // namespace kav::oss
