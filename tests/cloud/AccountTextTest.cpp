#include <gtest/gtest.h>

#include <string>

#include "cloud/AccountText.h"
#include "cloud/IClient.h"
#include "cloud/OssAccountSettings.h"

namespace {

// Positions 0..29 are the secret, 30..53 the key id.
constexpr int kLeadingSecret[30] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
// Every other position from 1 up is the secret, then the last six.
constexpr int kScattered[30] = {1,  3,  5,  7,  9,  11, 13, 15, 17, 19, 21, 23, 25, 27, 29,
                                31, 33, 35, 37, 39, 41, 43, 45, 47, 48, 49, 50, 51, 52, 53};

TEST(AccountText, DropsTheFillerAndSplitsByPosition) {
    // 57 characters: 'S' then the filler "#$%", then 53 more.
    const std::string text = "S" "#$%" "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0";
    ASSERT_EQ(text.size(), 57u);
    const std::string remaining = "S" "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0";

    std::string id, secret;
    kav::SplitAccountText(text, kLeadingSecret, id, secret);
    EXPECT_EQ(secret, remaining.substr(0, 30));
    EXPECT_EQ(id, remaining.substr(30));

    id.clear();
    secret.clear();
    kav::SplitAccountText(text, kScattered, id, secret);
    std::string expectedId, expectedSecret;
    for (size_t i = 0; i < remaining.size(); ++i) {
        const bool isSecret = (i % 2 == 1 && i <= 47) || i >= 48;
        (isSecret ? expectedSecret : expectedId) += remaining[i];
    }
    EXPECT_EQ(secret, expectedSecret);
    EXPECT_EQ(id, expectedId);
    EXPECT_EQ(id.size(), 24u);
    EXPECT_EQ(secret.size(), 30u);
    EXPECT_EQ(id.find_first_of("#$%"), std::string::npos) << "a filler character leaked into the key id";
}

TEST(AccountText, AppendsToWhatIsThere) {
    std::string id = "I", secret = "S";
    kav::SplitAccountText(std::string(57, 'k'), kLeadingSecret, id, secret);
    EXPECT_EQ(id, "I" + std::string(24, 'k'));
    EXPECT_EQ(secret, "S" + std::string(30, 'k'));
}

// The build's default account is the local bucket's test key pair.
TEST(CloudAccount, InitAssemblesTheDefaultTestAccount) {
    IClient client;
    client.objectPrefix = kObjectPrefix;
    client.InitCloudAccount();
    EXPECT_EQ(client.accessKeyId, "LTAI5tKavrindelTestKey01");
    EXPECT_EQ(client.accessKeySecret, "KavrindelLocalBucketSecret0001");
    EXPECT_EQ(client.endpoint, "127.0.0.1:47195");
    EXPECT_EQ(client.bucketName, "kavbucket");
    EXPECT_FALSE(client.downloadDepend);
    EXPECT_EQ(client.downloadsExpected, 5);
    EXPECT_EQ(client.downloadsDone, 0);
    EXPECT_EQ(client.progressPercent, 0);

    // A second run appends a second copy: it is meant to run once.
    client.InitCloudAccount();
    EXPECT_EQ(client.accessKeyId.size(), 48u);
    EXPECT_EQ(client.accessKeySecret.size(), 60u);

    client.ReleaseCloudAccount();
    EXPECT_TRUE(client.objectPrefix.empty());
    EXPECT_TRUE(client.bucketName.empty());
    EXPECT_TRUE(client.endpoint.empty());
    EXPECT_TRUE(client.accessKeySecret.empty());
    EXPECT_TRUE(client.accessKeyId.empty());
}

}  // namespace
