// A Windows program run through kavrindel_add_bucket_test sees the local bucket: the variables
// reach it through Wine, the Windows paths lead to the sample release, and the emulator answers
// on the endpoint while the program runs.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

using kavtest::Env;
using kavtest::PathExists;
using kavtest::ReadFileBytes;

// One plain HTTP request over Winsock; returns the whole answer (the emulator closes after it).
std::string HttpGet(const std::string& endpoint, const std::string& path) {
    const size_t colon = endpoint.find(':');
    if (colon == std::string::npos) return {};
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return {};
    std::string answer;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(endpoint.substr(0, colon).c_str(), endpoint.substr(colon + 1).c_str(), &hints, &found) == 0) {
        SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        if (s != INVALID_SOCKET && ::connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0) {
            const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + endpoint + "\r\nConnection: close\r\n\r\n";
            ::send(s, request.data(), static_cast<int>(request.size()), 0);
            char buffer[4096];
            int n = 0;
            while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
        }
        if (s != INVALID_SOCKET) ::closesocket(s);
        ::freeaddrinfo(found);
    }
    ::WSACleanup();
    return answer;
}

TEST(BucketEnvironment, AccountAndPathsReachTheProgram) {
    EXPECT_EQ(Env("KAV_BUCKET_NAME"), "kavbucket");
    EXPECT_EQ(Env("KAV_BUCKET_KEY_ID"), "LTAI5tKavrindelTestKey01");
    EXPECT_EQ(Env("KAV_BUCKET_KEY_SECRET"), "KavrindelLocalBucketSecret0001");
    EXPECT_EQ(Env("KAV_BUCKET_ENDPOINT").rfind("127.0.0.1:", 0), 0u);
    const std::string root = Env("KAV_BUCKET_ROOT");
    ASSERT_EQ(root.rfind("Z:\\", 0), 0u) << root;
    const std::string manifest = ReadFileBytes(root + "\\9.5KAvrindelIE\\summary.ini");
    EXPECT_NE(manifest.find("[fixstamp]\r\n201805=" + Env("KAV_TEST_FIX_NAME") + "\r\n"), std::string::npos) << manifest;
    EXPECT_TRUE(PathExists(root + "\\9.5KAvrindelIE\\fix\\" + Env("KAV_TEST_FIX_NAME") + ".zip"));
    EXPECT_TRUE(PathExists(Env("KAV_BUCKET_LOG")));
}

TEST(BucketEnvironment, EmulatorAnswersDuringTheRun) {
    const std::string ping = HttpGet(Env("KAV_BUCKET_ENDPOINT"), "/_kav_control/ping");
    EXPECT_EQ(ping.rfind("HTTP/1.1 200", 0), 0u) << ping;
    EXPECT_NE(ping.find("\"bucket\": \"kavbucket\""), std::string::npos) << ping;
    const std::string unsigned_get = HttpGet(Env("KAV_BUCKET_ENDPOINT"), "/kavbucket/9.5KAvrindelIE/summary.ini");
    EXPECT_EQ(unsigned_get.rfind("HTTP/1.1 403", 0), 0u) << unsigned_get;
    EXPECT_NE(unsigned_get.find("<Code>SignatureDoesNotMatch</Code>"), std::string::npos);
}

}  // namespace
