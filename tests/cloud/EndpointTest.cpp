#include <gtest/gtest.h>

#include <string>

#include "cloud/Endpoint.h"

namespace {

using kav::oss::Endpoint;

struct ParseCase {
    std::string text;
    bool ok;
    bool secure;
    std::string host;
    unsigned short port;
    bool ip;
};

class EndpointParsing : public testing::TestWithParam<ParseCase> {};

TEST_P(EndpointParsing, TakesSchemeHostAndPort) {
    const ParseCase& c = GetParam();
    Endpoint e;
    ASSERT_EQ(kav::oss::ParseEndpoint(c.text, e), c.ok) << c.text;
    if (!c.ok) return;
    EXPECT_EQ(e.secure, c.secure);
    EXPECT_EQ(e.host, c.host);
    EXPECT_EQ(e.port, c.port);
    EXPECT_EQ(e.isIpAddress, c.ip);
}

INSTANTIATE_TEST_SUITE_P(
    Endpoints, EndpointParsing,
    testing::Values(ParseCase{"127.0.0.1:47195", true, false, "127.0.0.1", 47195, true},
                    ParseCase{"oss-cn-hangzhou.aliyuncs.com", true, false, "oss-cn-hangzhou.aliyuncs.com", 80, false},
                    ParseCase{"https://oss.example.com", true, true, "oss.example.com", 443, false},
                    ParseCase{"HTTPS://oss.example.com:8443/", true, true, "oss.example.com", 8443, false},
                    ParseCase{"http://10.1.2.3", true, false, "10.1.2.3", 80, true},
                    ParseCase{"[::1]:9000", true, false, "[::1]", 9000, true},
                    // Dotted names that are not four numbers up to 255 are host names.
                    ParseCase{"1.2.3.256", true, false, "1.2.3.256", 80, false},
                    ParseCase{"1.2.3", true, false, "1.2.3", 80, false},
                    ParseCase{"", false, false, "", 0, false}, ParseCase{"ftp://host", false, false, "", 0, false},
                    ParseCase{"host:0", false, false, "", 0, false}, ParseCase{"host:65536", false, false, "", 0, false},
                    ParseCase{"host:", false, false, "", 0, false}, ParseCase{"host:8x", false, false, "", 0, false},
                    ParseCase{"host/path", false, false, "", 0, false},
                    ParseCase{"https://:443", false, false, "", 0, false}));

struct TargetCase {
    std::string endpoint;
    std::string key;
    std::string subresource;
    std::string host;
    std::string path;
};

class RequestTargets : public testing::TestWithParam<TargetCase> {};

TEST_P(RequestTargets, PathStyleForAnIpVirtualHostedForAName) {
    const TargetCase& c = GetParam();
    Endpoint e;
    ASSERT_TRUE(kav::oss::ParseEndpoint(c.endpoint, e));
    const kav::oss::RequestTarget t = kav::oss::TargetFor(e, "kavbucket", c.key, c.subresource);
    EXPECT_EQ(t.host, c.host);
    EXPECT_EQ(t.path, c.path);
    EXPECT_EQ(t.port, e.port);
    EXPECT_EQ(t.secure, e.secure);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, RequestTargets,
    testing::Values(TargetCase{"127.0.0.1:47195", "9.5KAvrindelIE/base.zip", "objectMeta", "127.0.0.1",
                               "/kavbucket/9.5KAvrindelIE/base.zip?objectMeta"},
                    TargetCase{"127.0.0.1:47195", "a b.zip", "", "127.0.0.1", "/kavbucket/a%20b.zip"},
                    TargetCase{"oss.example.com", "9.5KAvrindelIE/summary.ini", "", "kavbucket.oss.example.com",
                               "/9.5KAvrindelIE/summary.ini"},
                    TargetCase{"https://oss.example.com", "fix/安装.zip", "objectMeta", "kavbucket.oss.example.com",
                               "/fix/%B0%B2%D7%B0.zip?objectMeta"}));

}  // namespace
