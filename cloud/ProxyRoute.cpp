#include "cloud/ProxyRoute.h"

#include <cwctype>
#include <vector>

namespace kav::oss {

namespace {

constexpr std::wstring_view kHttpScheme = L"http";
constexpr std::wstring_view kHttpsScheme = L"https";
constexpr std::wstring_view kSchemeMark = L"://";
constexpr std::wstring_view kLocalNames = L"<local>";
constexpr std::wstring_view kDefaultProxyPort = L":80";
constexpr wchar_t kSchemeAssign = L'=';
constexpr wchar_t kAnyRun = L'*';

bool IsSeparator(wchar_t c) { return c == L';' || c == L',' || c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::vector<std::wstring_view> Entries(std::wstring_view list) {
    std::vector<std::wstring_view> entries;
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && IsSeparator(list[i])) ++i;
        const size_t start = i;
        while (i < list.size() && !IsSeparator(list[i])) ++i;
        if (i > start) entries.push_back(list.substr(start, i - start));
    }
    return entries;
}

wchar_t Lower(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); }

bool SameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// "scheme://rest": the scheme in front, if any, is taken off the text.
std::wstring_view TakeScheme(std::wstring_view& text) {
    const size_t mark = text.find(kSchemeMark);
    if (mark == std::wstring_view::npos) return {};
    const std::wstring_view scheme = text.substr(0, mark);
    text.remove_prefix(mark + kSchemeMark.size());
    return scheme;
}

// Where the port of "host:port" or "[v6]:port" starts (at the colon); npos when there is none.
size_t PortColon(std::wstring_view hostPort) {
    if (!hostPort.empty() && hostPort.front() == L'[') {
        const size_t close = hostPort.find(L']');
        if (close == std::wstring_view::npos || close + 1 >= hostPort.size()) return std::wstring_view::npos;
        return hostPort[close + 1] == L':' ? close + 1 : std::wstring_view::npos;
    }
    const size_t colon = hostPort.find(L':');
    // A bare IPv6 address has several colons and no port.
    if (colon == std::wstring_view::npos || hostPort.find(L':', colon + 1) != std::wstring_view::npos) {
        return std::wstring_view::npos;
    }
    return colon;
}

// '*' matches any run of characters; everything else one character, letters without case.
bool GlobMatches(std::wstring_view pattern, std::wstring_view text) {
    size_t p = 0, t = 0;
    size_t starP = std::wstring_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == kAnyRun) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && Lower(pattern[p]) == Lower(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == kAnyRun) ++p;
    return p == pattern.size();
}

bool EntryNamesTarget(std::wstring_view entry, const ProxyTarget& target) {
    if (SameText(entry, kLocalNames)) {
        return target.host.find(L'.') == std::wstring::npos && target.host.find(L':') == std::wstring::npos;
    }
    const std::wstring_view scheme = TakeScheme(entry);
    if (!scheme.empty() && !SameText(scheme, target.secure ? kHttpsScheme : kHttpScheme)) return false;
    while (!entry.empty() && entry.back() == L'/') entry.remove_suffix(1);
    std::wstring_view hostPattern = entry;
    const size_t colon = PortColon(entry);
    if (colon != std::wstring_view::npos) {
        const std::wstring_view port = entry.substr(colon + 1);
        if (port != L"*" && port != std::to_wstring(target.port)) return false;
        hostPattern = entry.substr(0, colon);
    }
    return !hostPattern.empty() && GlobMatches(hostPattern, target.host);
}

}  // namespace

bool NeedsScriptAnswer(const UserProxySettings& settings) {
    return settings.autoDetect || !settings.autoConfigUrl.empty();
}

std::wstring ProxyForScheme(std::wstring_view list, bool secure) {
    const std::wstring_view wanted = secure ? kHttpsScheme : kHttpScheme;
    std::wstring forAll;
    for (std::wstring_view entry : Entries(list)) {
        std::wstring_view scheme;
        const size_t assign = entry.find(kSchemeAssign);
        if (assign != std::wstring_view::npos) {
            scheme = entry.substr(0, assign);
            entry.remove_prefix(assign + 1);
        }
        // The proxy is spoken to in plain HTTP: "http://" in front is allowed, any other scheme
        // (a TLS or SOCKS proxy) is not something WinHTTP can use.
        const std::wstring_view proxyScheme = TakeScheme(entry);
        if (!proxyScheme.empty() && !SameText(proxyScheme, kHttpScheme)) continue;
        while (!entry.empty() && entry.back() == L'/') entry.remove_suffix(1);
        if (entry.empty() || entry.find(L'/') != std::wstring_view::npos) continue;
        std::wstring server(entry);
        if (PortColon(entry) == std::wstring_view::npos) server += kDefaultProxyPort;
        if (!scheme.empty()) {
            if (SameText(scheme, wanted)) return server;
        } else if (forAll.empty()) {
            forAll = std::move(server);
        }
    }
    return forAll;
}

bool BypassesProxy(std::wstring_view bypass, const ProxyTarget& target) {
    for (const std::wstring_view entry : Entries(bypass)) {
        if (EntryNamesTarget(entry, target)) return true;
    }
    return false;
}

std::wstring ChooseProxy(const UserProxySettings& settings, const ScriptAnswer& script, const ProxyTarget& target) {
    if (NeedsScriptAnswer(settings) && script.answered) {
        if (script.direct || BypassesProxy(script.bypass, target)) return {};
        return ProxyForScheme(script.proxy, target.secure);
    }
    if (settings.proxy.empty() || BypassesProxy(settings.bypass, target)) return {};
    return ProxyForScheme(settings.proxy, target.secure);
}

}  // namespace kav::oss
