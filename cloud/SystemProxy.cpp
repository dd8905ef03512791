#include "cloud/SystemProxy.h"

#include "system/Handles.h"

namespace kav::oss {

namespace {

// Takes over a string that WinHTTP allocated for the caller.
std::wstring TakeGlobalString(LPWSTR text) {
    const UniqueGlobalMemory owner(text);
    return text != nullptr ? std::wstring(text) : std::wstring();
}

}  // namespace

UserProxySettings ReadUserProxySettings(const WinHttpApi& api) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    UserProxySettings settings;
    if (!api.GetIEProxyConfigForCurrentUser(&config)) return settings;
    settings.autoDetect = config.fAutoDetect != FALSE;
    settings.autoConfigUrl = TakeGlobalString(config.lpszAutoConfigUrl);
    settings.proxy = TakeGlobalString(config.lpszProxy);
    settings.bypass = TakeGlobalString(config.lpszProxyBypass);
    return settings;
}

ScriptAnswer AskProxyScript(const WinHttpApi& api, HINTERNET session, const UserProxySettings& settings,
                            const std::wstring& url) {
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (settings.autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!settings.autoConfigUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = settings.autoConfigUrl.c_str();
    }
    // No credentials are ever offered, not even to fetch the script.
    options.fAutoLogonIfChallenged = FALSE;

    ScriptAnswer answer;
    if (options.dwFlags == 0) return answer;
    WINHTTP_PROXY_INFO info = {};
    const BOOL ok = api.GetProxyForUrl(session, url.c_str(), &options, &info);
    const std::wstring proxy = TakeGlobalString(info.lpszProxy);
    const std::wstring bypass = TakeGlobalString(info.lpszProxyBypass);
    if (!ok) return answer;
    answer.answered = true;
    answer.direct = info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || proxy.empty();
    answer.proxy = proxy;
    answer.bypass = bypass;
    return answer;
}

}  // namespace kav::oss
