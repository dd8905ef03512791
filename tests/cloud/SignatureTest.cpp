#include <gtest/gtest.h>

#include <string>

#include "cloud/Base64.h"
#include "cloud/HmacSha1.h"
#include "cloud/OssSdk.h"
#include "cloud/Signature.h"

namespace {

using kav::oss::SignedRequest;

class SignatureTest : public testing::Test {
protected:
    static void SetUpTestSuite() { kav::oss::InitializeSdk(); }
    static void TearDownTestSuite() { kav::oss::ShutdownSdk(); }
};

std::string Hex(const kav::oss::HmacSha1Digest& d) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : d) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

struct HmacCase {
    std::string key;
    std::string data;
    std::string hex;
};

// RFC 2202's HMAC-SHA1 cases, through the System32 CNG provider.
TEST_F(SignatureTest, HmacSha1MatchesRfc2202) {
    const HmacCase cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
    };
    for (const HmacCase& c : cases) {
        kav::oss::HmacSha1Digest digest{};
        ASSERT_TRUE(kav::oss::ComputeHmacSha1(c.key, c.data, digest));
        EXPECT_EQ(Hex(digest), c.hex) << c.data;
    }
}

TEST(SignatureWithoutSdk, CannotSignBeforeInitializeSdk) {
    kav::oss::ShutdownSdk();
    kav::oss::HmacSha1Digest digest{};
    EXPECT_FALSE(kav::oss::ComputeHmacSha1("k", "d", digest));
    SignedRequest r{"GET", "", "", "Thu, 10 Dec 2026 12:08:37 GMT", "kavbucket", "a", ""};
    EXPECT_EQ(kav::oss::AuthorizationHeaderValue("id", "secret", r), "");
}

TEST(SdkLifecycle, InitializeAndShutdownMayBeRepeated) {
    kav::oss::InitializeSdk();
    HINTERNET first = kav::oss::SdkSession();
    ASSERT_NE(first, nullptr);
    kav::oss::InitializeSdk();
    EXPECT_EQ(kav::oss::SdkSession(), first);
    kav::oss::ShutdownSdk();
    EXPECT_FALSE(kav::oss::IsSdkInitialized());
    EXPECT_EQ(kav::oss::SdkSession(), nullptr);
    kav::oss::ShutdownSdk();
    kav::oss::InitializeSdk();
    EXPECT_TRUE(kav::oss::IsSdkInitialized());
    kav::oss::ShutdownSdk();
}

struct SignCase {
    SignedRequest request;
    std::string stringToSign;
    std::string authorization;  // for the default test key pair
};

// Expected values computed independently (Python's hmac over the same text).
TEST_F(SignatureTest, SignsVersionOneOverTheRawKeyBytes) {
    const std::string date = "Thu, 10 Dec 2026 12:08:37 GMT";
    const SignCase cases[] = {
        {{"GET", "", "", date, "kavbucket", "9.5KAvrindelIE/summary.ini", ""},
         "GET\n\n\n" + date + "\n/kavbucket/9.5KAvrindelIE/summary.ini",
         "OSS LTAI5tKavrindelTestKey01:4NSEj5OViiQ6jieorrE2cQhKn3Q="},
        {{"HEAD", "", "", date, "kavbucket", "9.5KAvrindelIE/base.zip", "objectMeta"},
         "HEAD\n\n\n" + date + "\n/kavbucket/9.5KAvrindelIE/base.zip?objectMeta",
         "OSS LTAI5tKavrindelTestKey01:e8P8bppGxfgJeH8PTEwzt4d5h+w="},
        // A GBK name is signed as its GBK bytes (the source is compiled to GBK).
        {{"GET", "", "", date, "kavbucket", "9.5KAvrindelIE/fix/安装.zip", ""},
         "GET\n\n\n" + date + "\n/kavbucket/9.5KAvrindelIE/fix/\xB0\xB2\xD7\xB0.zip",
         "OSS LTAI5tKavrindelTestKey01:ddoZhm4xmBAtH0VqCQZaoSzY1EI="},
    };
    for (const SignCase& c : cases) {
        EXPECT_EQ(kav::oss::StringToSign(c.request), c.stringToSign);
        EXPECT_EQ(kav::oss::AuthorizationHeaderValue("LTAI5tKavrindelTestKey01", "KavrindelLocalBucketSecret0001",
                                                     c.request),
                  c.authorization);
    }
}

TEST_F(SignatureTest, ContentHeadersTakeTheirLines) {
    SignedRequest r{"PUT", "eB5eJF1ptWaXm4bijSPyxw==", "text/html", "D", "b", "k", ""};
    EXPECT_EQ(kav::oss::StringToSign(r), "PUT\neB5eJF1ptWaXm4bijSPyxw==\ntext/html\nD\n/b/k");
}

}  // namespace
