#pragma once
// The WinHTTP sessions requests run in: the direct one, and one per proxy that the user's settings
// send a target through. Each target's route is decided once (the settings are read and the script
// or auto-detection asked on the first request to it) and kept, so an auto-detection that finds
// nothing costs its time once, not on every request.
#include <windows.h>
#include <winhttp.h>

#include <map>
#include <mutex>
#include <string>

#include "cloud/ProxyRoute.h"
#include "cloud/WinHttpApi.h"

namespace kav::oss {

class ProxySessions {
public:
    // direct: a session without proxy, owned by the caller, also used to ask the script.
    ProxySessions(const WinHttpApi& api, HINTERNET direct, std::wstring userAgent);
    ProxySessions(const ProxySessions&) = delete;
    ProxySessions& operator=(const ProxySessions&) = delete;

    // The session for a request to the target; proxy receives the proxy it goes through ("host:port",
    // empty for direct). Null when the proxy's session cannot be opened.
    HINTERNET SessionFor(const ProxyTarget& target, std::wstring& proxy);

private:
    std::wstring RouteFor(const ProxyTarget& target);

    const WinHttpApi& api_;
    HINTERNET direct_;
    std::wstring userAgent_;
    std::mutex lock_;
    bool settingsRead_ = false;
    UserProxySettings settings_;
    std::map<std::wstring, std::wstring> routes_;        // "scheme://host:port" -> proxy
    std::map<std::wstring, UniqueInternet> sessions_;  // proxy -> its session
};

}  // namespace kav::oss
