#pragma once
// A test fixture with a cloud client on this run's local bucket: the bucket's faults and request
// log cleared, the package code set, a staging folder, a captured install log and a window that
// records the install messages.
#include <gtest/gtest.h>

#include <string>

#include "BucketSupport.h"
#include "TestSupport.h"
#include "app/InstallSettings.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "cloud/Sha256.h"

namespace kavtest {

class BucketClientTest : public testing::Test {
protected:
    static void SetUpTestSuite() { kav::oss::InitializeSdk(); }

    void SetUp() override {
        account_ = CurrentBucket();
        ASSERT_FALSE(account_.endpoint.empty()) << "run through the bucket runner";
        ASSERT_TRUE(ResetBucket());
        InstallSettings& settings = GetInstallSettings();
        settings.packageCode = "201805";
        settings.tempDir = staging_.Path();
        client_.objectPrefix = kObjectPrefix;
        client_.InitCloudAccount();
        // The account of this run's bucket (its port is chosen per run).
        UseClient(account_.endpoint, account_.keySecret, kav::oss::ClientConfiguration());
    }

    void TearDown() override { delete client_.ossClient; }

    void UseClient(const std::string& endpoint, const std::string& secret,
                   const kav::oss::ClientConfiguration& configuration) {
        delete client_.ossClient;
        client_.endpoint = endpoint;
        client_.ossClient = new kav::oss::OssClient(endpoint, account_.keyId, secret, configuration);
    }

    // Pins a package (its path below the prefix) to its current content in the bucket, as a
    // verified manifest would, for downloads that run without reading the manifest.
    void PinPackage(const std::string& path) {
        kav::oss::Sha256Digest digest{};
        ASSERT_TRUE(kav::oss::ComputeSha256(ReadObject(std::string(kObjectPrefix) + "/" + path), digest));
        client_.packageDigests.Set(path, digest);
    }

    BucketAccount account_;
    TempFolder staging_{"kavstage"};
    TempFolder logFolder_{"kavlog"};
    CapturedInstallLog log_{logFolder_.Path()};
    MessageRecorder recorder_;
    IClient client_;
};

}  // namespace kavtest
