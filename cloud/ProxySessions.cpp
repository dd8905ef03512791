#include "cloud/ProxySessions.h"

#include "cloud/SystemProxy.h"

namespace kav::oss {

namespace {

constexpr wchar_t kHttpsPrefix[] = L"https://";
constexpr wchar_t kHttpPrefix[] = L"http://";

std::wstring TargetUrl(const ProxyTarget& target) {
    return (target.secure ? kHttpsPrefix : kHttpPrefix) + target.host + L":" + std::to_wstring(target.port) + L"/";
}

}  // namespace

ProxySessions::ProxySessions(const WinHttpApi& api, HINTERNET direct, std::wstring userAgent)
    : api_(api), direct_(direct), userAgent_(std::move(userAgent)) {}

std::wstring ProxySessions::RouteFor(const ProxyTarget& target) {
    const std::wstring url = TargetUrl(target);
    const auto known = routes_.find(url);
    if (known != routes_.end()) return known->second;
    if (!settingsRead_) {
        settings_ = ReadUserProxySettings(api_);
        settingsRead_ = true;
    }
    ScriptAnswer answer;
    if (NeedsScriptAnswer(settings_)) answer = AskProxyScript(api_, direct_, settings_, url);
    std::wstring proxy = ChooseProxy(settings_, answer, target);
    routes_.emplace(url, proxy);
    return proxy;
}

HINTERNET ProxySessions::SessionFor(const ProxyTarget& target, std::wstring& proxy) {
    std::lock_guard<std::mutex> guard(lock_);
    proxy = RouteFor(target);
    if (proxy.empty()) return direct_;
    auto open = sessions_.find(proxy);
    if (open == sessions_.end()) {
        // The route is decided already, so the session names no bypass list of its own.
        UniqueInternet session(
            api_.Open(userAgent_.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session) return nullptr;
        open = sessions_.emplace(proxy, std::move(session)).first;
    }
    return open->second.Get();
}

}  // namespace kav::oss
