// Which proxy a request takes, from the user's settings and a script's answer.
#include <gtest/gtest.h>

#include <string>

#include "cloud/ProxyRoute.h"

namespace {

using kav::oss::ProxyTarget;
using kav::oss::ScriptAnswer;
using kav::oss::UserProxySettings;

const ProxyTarget kBucket{false, L"127.0.0.1", 47195};
const ProxyTarget kService{false, L"kavbucket.oss-cn-hangzhou.aliyuncs.com", 80};
const ProxyTarget kServiceTls{true, L"kavbucket.oss-cn-hangzhou.aliyuncs.com", 443};
const ProxyTarget kIntranet{false, L"storage", 8080};

struct SchemeCase {
    std::wstring list;
    bool secure;
    std::wstring proxy;
};

class ProxyLists : public testing::TestWithParam<SchemeCase> {};

TEST_P(ProxyLists, GiveTheServerForTheScheme) {
    const SchemeCase& c = GetParam();
    EXPECT_EQ(kav::oss::ProxyForScheme(c.list, c.secure), c.proxy) << c.list;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ProxyLists,
    testing::Values(SchemeCase{L"proxy.corp:3128", false, L"proxy.corp:3128"},
                    SchemeCase{L"proxy.corp:3128", true, L"proxy.corp:3128"},
                    SchemeCase{L"proxy.corp", false, L"proxy.corp:80"},
                    SchemeCase{L"http://proxy.corp:3128/", false, L"proxy.corp:3128"},
                    SchemeCase{L"http=web:80;https=tls:8443", false, L"web:80"},
                    SchemeCase{L"http=web:80;https=tls:8443", true, L"tls:8443"},
                    SchemeCase{L"HTTPS=tls:8443; any:3128", true, L"tls:8443"},
                    SchemeCase{L"any:3128;https=tls:8443", true, L"tls:8443"},
                    SchemeCase{L"any:3128;https=tls:8443", false, L"any:3128"},
                    // Only an entry for another scheme: no proxy for this one.
                    SchemeCase{L"http=web:80", true, L""},
                    SchemeCase{L"socks=s:1080", false, L""},
                    SchemeCase{L"socks://s:1080", false, L""},
                    SchemeCase{L"https://tlsproxy:443", false, L""},
                    SchemeCase{L"first:1 second:2", false, L"first:1"},
                    SchemeCase{L"[fd00::1]:3128", false, L"[fd00::1]:3128"},
                    SchemeCase{L"", false, L""}, SchemeCase{L" ; ;", false, L""}));

struct BypassCase {
    std::wstring bypass;
    ProxyTarget target;
    bool bypassed;
};

class BypassLists : public testing::TestWithParam<BypassCase> {};

TEST_P(BypassLists, NameTheirTargets) {
    const BypassCase& c = GetParam();
    EXPECT_EQ(kav::oss::BypassesProxy(c.bypass, c.target), c.bypassed) << c.bypass << L" / " << c.target.host;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, BypassLists,
    testing::Values(BypassCase{L"127.0.0.1", kBucket, true}, BypassCase{L"127.0.0.2", kBucket, false},
                    BypassCase{L"127.*", kBucket, true}, BypassCase{L"*.0.0.1", kBucket, true},
                    BypassCase{L"127.0.0.1:47195", kBucket, true}, BypassCase{L"127.0.0.1:80", kBucket, false},
                    BypassCase{L"127.0.0.1:*", kBucket, true},
                    BypassCase{L"http://127.0.0.1", kBucket, true}, BypassCase{L"https://127.0.0.1", kBucket, false},
                    // <local>: names without a dot only; an address is never local by this rule.
                    BypassCase{L"<local>", kIntranet, true}, BypassCase{L"<LOCAL>", kIntranet, true},
                    BypassCase{L"<local>", kBucket, false}, BypassCase{L"<local>", kService, false},
                    BypassCase{L"<local>", ProxyTarget{false, L"[::1]", 80}, false},
                    BypassCase{L"*.aliyuncs.com", kService, true}, BypassCase{L"*.ALIYUNCS.com", kService, true},
                    BypassCase{L"aliyuncs.com", kService, false},
                    BypassCase{L"*.aliyuncs.com.cn", kService, false},
                    BypassCase{L"*oss-cn-*", kServiceTls, true},
                    BypassCase{L"intranet;*.corp, 127.0.0.1", kBucket, true},
                    BypassCase{L"intranet;*.corp", kBucket, false}, BypassCase{L"", kBucket, false},
                    BypassCase{L"*", kService, true}));

struct RouteCase {
    const char* name;
    UserProxySettings settings;
    ScriptAnswer script;
    ProxyTarget target;
    std::wstring proxy;
};

class Routes : public testing::TestWithParam<RouteCase> {};

TEST_P(Routes, FollowScriptThenFixedProxyThenDirect) {
    const RouteCase& c = GetParam();
    EXPECT_EQ(kav::oss::ChooseProxy(c.settings, c.script, c.target), c.proxy) << c.name;
}

const ScriptAnswer kNoAnswer{};
const ScriptAnswer kScriptDirect{true, true, L"", L""};
const ScriptAnswer kScriptProxy{true, false, L"pac-proxy:8080", L""};

INSTANTIATE_TEST_SUITE_P(
    Settings, Routes,
    testing::Values(
        RouteCase{"nothing set", {}, kNoAnswer, kBucket, L""},
        RouteCase{"fixed proxy", {false, L"", L"proxy:3128", L""}, kNoAnswer, kBucket, L"proxy:3128"},
        RouteCase{"fixed proxy, bucket bypassed", {false, L"", L"proxy:3128", L"<local>;127.0.0.1"}, kNoAnswer,
                  kBucket, L""},
        RouteCase{"fixed proxy, other hosts bypassed", {false, L"", L"proxy:3128", L"<local>;10.*"}, kNoAnswer,
                  kBucket, L"proxy:3128"},
        RouteCase{"fixed proxy for http only, https target", {false, L"", L"http=proxy:3128", L""}, kNoAnswer,
                  kServiceTls, L""},
        RouteCase{"bypass list without proxy", {false, L"", L"", L"127.0.0.1"}, kNoAnswer, kBucket, L""},
        // Auto-detection (on in a fresh profile) that finds nothing leaves the fixed proxy or direct.
        RouteCase{"auto-detect found nothing", {true, L"", L"", L""}, kNoAnswer, kBucket, L""},
        RouteCase{"auto-detect found nothing, fixed proxy", {true, L"", L"proxy:3128", L""}, kNoAnswer, kBucket,
                  L"proxy:3128"},
        RouteCase{"script says proxy", {false, L"http://wpad/proxy.pac", L"", L""}, kScriptProxy, kService,
                  L"pac-proxy:8080"},
        RouteCase{"script wins over fixed proxy", {false, L"http://wpad/proxy.pac", L"proxy:3128", L""},
                  kScriptProxy, kService, L"pac-proxy:8080"},
        RouteCase{"script says direct", {true, L"", L"proxy:3128", L""}, kScriptDirect, kService, L""},
        RouteCase{"script unusable, fixed proxy", {false, L"http://wpad/proxy.pac", L"proxy:3128", L""}, kNoAnswer,
                  kService, L"proxy:3128"},
        RouteCase{"script proxy with its bypass", {true, L"", L"", L""},
                  ScriptAnswer{true, false, L"pac-proxy:8080", L"*.aliyuncs.com"}, kService, L""},
        // An answer that the settings never asked for is not used.
        RouteCase{"answer without script", {false, L"", L"proxy:3128", L""}, kScriptProxy, kService,
                  L"proxy:3128"}));

}  // namespace
