// An https:// endpoint is reached over TLS with the server's certificate verified: a server whose
// certificate no authority vouches for is refused before any request reaches it.
#include <gtest/gtest.h>
#include <windows.h>
#include <winhttp.h>

#include "TestSupport.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"

namespace {

// The same server through WinHTTP with the certificate checks switched off: proves that TLS itself
// works here, so the client's refusal comes from the certificate check.
DWORD StatusWithoutCertificateChecks(const std::string& endpoint) {
    const unsigned port = static_cast<unsigned>(std::stoi(endpoint.substr(endpoint.rfind(':') + 1)));
    HINTERNET session = ::WinHttpOpen(L"kavrindel-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = ::WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(port), 0);
    HINTERNET request = ::WinHttpOpenRequest(connection, L"HEAD", L"/", nullptr, nullptr, nullptr, WINHTTP_FLAG_SECURE);
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                  SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    ::WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    DWORD status = 0, size = sizeof status;
    if (::WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) && ::WinHttpReceiveResponse(request, nullptr)) {
        ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &status, &size,
                              nullptr);
    }
    ::WinHttpCloseHandle(request);
    ::WinHttpCloseHandle(connection);
    ::WinHttpCloseHandle(session);
    return status;
}

TEST(HttpsEndpoint, AnUntrustedCertificateIsRefused) {
    const std::string endpoint = kavtest::Env("KAV_TLS_ENDPOINT");
    ASSERT_EQ(endpoint.rfind("https://127.0.0.1:", 0), 0u) << "run through with_tls_server.py";
    kav::oss::InitializeSdk();
    kav::oss::ClientConfiguration configuration;
    configuration.retryScaleMs = 10;
    kav::oss::OssClient client(endpoint, "LTAI5tKavrindelTestKey01", "KavrindelLocalBucketSecret0001", configuration);
    const kav::oss::ObjectMetaOutcome outcome = client.GetObjectMeta("kavbucket", "9.5KAvrindelIE/summary.ini");
    EXPECT_FALSE(outcome.success) << "the server answers 200 to anything that gets through";
    EXPECT_EQ(outcome.error.httpStatus, 0);
    EXPECT_EQ(outcome.error.code.rfind("ERROR_WINHTTP_SECURE", 0), 0u) << outcome.error.code;
    EXPECT_EQ(kavtest::ReadFileBytes(kavtest::Env("KAV_TLS_REQUESTS_FILE")), "") << "a request passed the handshake";
    kav::oss::ShutdownSdk();

    EXPECT_EQ(StatusWithoutCertificateChecks(endpoint), 200u) << "TLS to this server does not work at all here";
}

}  // namespace
