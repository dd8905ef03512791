// Requests follow the user's proxy settings, with real proxies (tinyproxy, started by
// with_proxy.py) between the client and the local bucket. The settings are written where WinHTTP
// reads them, in this test's own Wine prefix, so no other test sees them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BucketClientTest.h"
#include "BucketSupport.h"
#include "TestSupport.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "system/Handles.h"

namespace {

constexpr wchar_t kConnectionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kConnectionSettingsValue[] = L"DefaultConnectionSettings";
constexpr std::uint32_t kSettingsVersion = 0x46;
constexpr std::uint32_t kFlagDirect = 1;
constexpr std::uint32_t kFlagProxy = 2;
constexpr std::uint32_t kFlagAutoDetect = 8;
constexpr char kProxyRequestMark[] = "Request (file descriptor ";
constexpr char kBaseKey[] = "9.5KAvrindelIE/base.zip";

void AppendDword(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void AppendText(std::string& out, const std::string& text) {
    AppendDword(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

// The user's connection settings as Windows stores them: version, counter, flags, then the proxy,
// the bypass list and the script address, each with its length in front.
void SetUserProxySettings(std::uint32_t flags, const std::string& proxy, const std::string& bypass) {
    std::string blob;
    AppendDword(blob, kSettingsVersion);
    AppendDword(blob, 0);
    AppendDword(blob, flags);
    AppendText(blob, proxy);
    AppendText(blob, bypass);
    AppendText(blob, "");
    kav::UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.Get(), kConnectionSettingsValue, 0, REG_BINARY,
                               reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size())),
              ERROR_SUCCESS);
}

// "<method> <url>" of every request the proxy received, in order.
std::vector<std::string> ProxiedRequests(const std::string& logPath) {
    std::vector<std::string> requests;
    const std::string log = kavtest::ReadFileBytes(logPath);
    size_t at = 0;
    while ((at = log.find(kProxyRequestMark, at)) != std::string::npos) {
        const size_t start = log.find(": ", at) + 2;
        const size_t end = log.find('\n', start);
        std::string line = log.substr(start, end - start);
        const size_t version = line.rfind(" HTTP/");
        requests.push_back(line.substr(0, version));
        at = end;
    }
    return requests;
}

class SystemProxy : public kavtest::BucketClientTest {
protected:
    void SetUp() override {
        proxy_ = kavtest::Env("KAV_PROXY_ADDRESS");
        authProxy_ = kavtest::Env("KAV_AUTH_PROXY_ADDRESS");
        ASSERT_FALSE(proxy_.empty()) << "run through with_proxy.py";
        BucketClientTest::SetUp();
    }

    // The route is decided on the first request after InitializeSdk: start again so that the
    // settings just written count.
    void UseSettings(std::uint32_t flags, const std::string& proxy, const std::string& bypass) {
        SetUserProxySettings(flags, proxy, bypass);
        kav::oss::ShutdownSdk();
        kav::oss::InitializeSdk();
    }

    void TearDown() override {
        // What a fresh profile reports: auto-detection on, nothing else.
        SetUserProxySettings(kFlagDirect | kFlagAutoDetect, "", "");
        BucketClientTest::TearDown();
    }

    // Downloads what an install downloads: the manifest, then every package it names.
    void DownloadTheRelease() {
        ASSERT_TRUE(client_.ReadRemoteManifest());
        ASSERT_TRUE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
        ASSERT_TRUE(client_.DownloadObject("9.5KAvrindelIE/config.zip", (staging_.Path() + "/config.zip").c_str()));
        ASSERT_TRUE(client_.DownloadFixPackage((std::string(client_.fixPackage) + ".zip").c_str()));
        EXPECT_TRUE(kavtest::ReadFileBytes(staging_.Path() + "\\base.zip") == kavtest::ReadObject(kBaseKey));
        EXPECT_TRUE(log_.Lines().empty());
    }

    std::string proxy_;
    std::string authProxy_;
};

TEST_F(SystemProxy, TheUsersProxyCarriesEveryRequest) {
    // Auto-detection stays on, as in a fresh profile: it finds nothing here, so the fixed proxy applies.
    UseSettings(kFlagDirect | kFlagProxy | kFlagAutoDetect, proxy_, "<local>");
    const size_t before = ProxiedRequests(kavtest::Env("KAV_PROXY_LOG")).size();
    DownloadTheRelease();

    const auto bucketSaw = kavtest::RequestLog();
    const std::vector<std::string> proxied = ProxiedRequests(kavtest::Env("KAV_PROXY_LOG"));
    ASSERT_GE(bucketSaw.size(), 8u) << "four objects, each checked and fetched";
    ASSERT_EQ(proxied.size() - before, bucketSaw.size()) << "every request the bucket saw came through the proxy";
    const std::string prefix = "http://" + account_.endpoint + "/" + account_.bucket + "/";
    for (size_t i = 0; i < bucketSaw.size(); ++i) {
        const std::string& line = proxied[before + i];
        EXPECT_EQ(line.rfind(bucketSaw[i].method + " " + prefix, 0), 0u) << line;
        EXPECT_TRUE(bucketSaw[i].signatureOk) << line;
    }
}

TEST_F(SystemProxy, TheBucketInTheBypassListIsReachedDirectly) {
    const std::string host = account_.endpoint.substr(0, account_.endpoint.find(':'));
    UseSettings(kFlagDirect | kFlagProxy, proxy_, "*.example.com;" + host);
    const size_t before = ProxiedRequests(kavtest::Env("KAV_PROXY_LOG")).size();
    DownloadTheRelease();
    EXPECT_FALSE(kavtest::RequestLog().empty());
    EXPECT_EQ(ProxiedRequests(kavtest::Env("KAV_PROXY_LOG")).size(), before) << "a request went through the proxy";
}

TEST_F(SystemProxy, AProxyThatWantsCredentialsFailsAtOnceWithOneClearLine) {
    UseSettings(kFlagDirect | kFlagProxy, authProxy_, "");
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    const ULONGLONG elapsedMs = ::GetTickCount64() - start;

    EXPECT_EQ(log_.Lines(), std::vector<std::string>{"Downfile Fail,code:ProxyAuthenticationRequired,message:the proxy " +
                                                     authProxy_ +
                                                     " of the user's settings asks for credentials (HTTP 407); the "
                                                     "installer sends none,requestId:"});
    EXPECT_EQ(client_.downloadsDone, 0);
    EXPECT_FALSE(kavtest::PathExists(staging_.Path() + "\\base.zip"));
    EXPECT_TRUE(kavtest::RequestLog().empty()) << "the refused request reached the bucket";
    // One request and no retry: the retry delays alone would take 2.1 s.
    EXPECT_EQ(ProxiedRequests(kavtest::Env("KAV_AUTH_PROXY_LOG")).size(), 1u);
    EXPECT_LT(elapsedMs, 2000u);
}

// HTTPS through the proxy (a CONNECT tunnel) still checks the server's certificate: a server with
// a self-signed one (with_tls_server.py) is refused, though the proxy opened the tunnel.
TEST(ProxiedHttps, TheServersCertificateIsStillChecked) {
    const std::string endpoint = kavtest::Env("KAV_TLS_ENDPOINT");
    const std::string proxy = kavtest::Env("KAV_PROXY_ADDRESS");
    ASSERT_EQ(endpoint.rfind("https://127.0.0.1:", 0), 0u) << "run through with_tls_server.py";
    ASSERT_FALSE(proxy.empty()) << "run through with_proxy.py";
    SetUserProxySettings(kFlagDirect | kFlagProxy, proxy, "");
    kav::oss::InitializeSdk();
    kav::oss::ClientConfiguration configuration;
    configuration.retryScaleMs = 10;
    kav::oss::OssClient client(endpoint, "LTAI5tKavrindelTestKey01", "KavrindelLocalBucketSecret0001", configuration);
    const kav::oss::ObjectMetaOutcome outcome = client.GetObjectMeta("kavbucket", "9.5KAvrindelIE/summary.ini");
    kav::oss::ShutdownSdk();
    SetUserProxySettings(kFlagDirect | kFlagAutoDetect, "", "");

    EXPECT_FALSE(outcome.success) << "the server answers 200 to anything that gets through";
    EXPECT_EQ(outcome.error.code.rfind("ERROR_WINHTTP_SECURE", 0), 0u) << outcome.error.code;
    EXPECT_EQ(kavtest::ReadFileBytes(kavtest::Env("KAV_TLS_REQUESTS_FILE")), "") << "a request passed the handshake";
    const std::vector<std::string> proxied = ProxiedRequests(kavtest::Env("KAV_PROXY_LOG"));
    ASSERT_FALSE(proxied.empty()) << "the connection did not go through the proxy";
    for (const std::string& line : proxied) EXPECT_EQ(line, "CONNECT " + endpoint.substr(8));
}

}  // namespace
