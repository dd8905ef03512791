#pragma once
// Which proxy a request takes, decided from the user's proxy settings as WinHTTP reports them
// (WinHttpGetIEProxyConfigForCurrentUser) and, when those name a configuration script or
// auto-detection, from the script's answer (WinHttpGetProxyForUrl). Pure: the system calls live in
// SystemProxy.
#include <string>
#include <string_view>

namespace kav::oss {

// The user's settings. Texts are as Windows stores them: the proxy list either one "host:port"
// for every scheme or per-scheme entries ("http=host:port;https=host:port"), the bypass list
// entries separated by ';' ("<local>;*.example.com;10.*").
struct UserProxySettings {
    bool autoDetect = false;
    std::wstring autoConfigUrl;  // empty when no script is set
    std::wstring proxy;          // empty when no fixed proxy is set
    std::wstring bypass;
};

// What the script or auto-detection answered for one URL.
struct ScriptAnswer {
    bool answered = false;  // false: no script was found or it could not be used
    bool direct = true;     // the script says DIRECT
    std::wstring proxy;     // otherwise its proxy list
    std::wstring bypass;
};

// The request's target.
struct ProxyTarget {
    bool secure = false;
    std::wstring host;  // without port; an IPv6 literal keeps its brackets
    unsigned short port = 0;
};

// Whether a script or auto-detection has to be asked before the route is known.
bool NeedsScriptAnswer(const UserProxySettings& settings);

// The proxy server ("host:port") of a proxy list for the target's scheme: an entry for the scheme
// ("http=" or "https=") wins over an entry without one; other schemes' entries (socks=, ftp=) are
// never used. A proxy without a port gets 80, as WinHTTP does. Empty when no entry applies.
std::wstring ProxyForScheme(std::wstring_view list, bool secure);

// Whether an entry of the bypass list names the target: "<local>" any name without a dot, else a
// pattern of the host with '*' for any run of characters, optionally with the scheme in front
// ("https://") and a port behind (":8080"). Letters match without case.
bool BypassesProxy(std::wstring_view bypass, const ProxyTarget& target);

// The proxy for the target, empty for a direct connection. A script's answer wins; when there was
// no usable answer the fixed proxy applies (unless its bypass list names the target); with neither
// the request goes direct.
std::wstring ChooseProxy(const UserProxySettings& settings, const ScriptAnswer& script, const ProxyTarget& target);

}  // namespace kav::oss
