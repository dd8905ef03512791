// Reading the bucket's manifest into the cloud client, against the local bucket.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "BucketClientTest.h"
#include "BucketSupport.h"
#include "TestSupport.h"
#include "app/InstallSettings.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"

namespace {

constexpr char kManifestKey[] = "9.5KAvrindelIE/summary.ini";

using RemoteManifest = kavtest::BucketClientTest;

struct ManifestCase {
    const char* name;
    std::string manifest;
    std::int64_t cfgTime;
    std::string fixPackage;
    std::string quantPackage;
};

class ManifestValues : public RemoteManifest, public testing::WithParamInterface<ManifestCase> {};

TEST_P(ManifestValues, AreReadIntoTheClient) {
    const ManifestCase& c = GetParam();
    kavtest::PutObject(kManifestKey, c.manifest);
    ASSERT_TRUE(client_.ReadRemoteManifest());
    EXPECT_EQ(client_.cfgTime, c.cfgTime);
    EXPECT_EQ(std::string(client_.fixPackage), c.fixPackage);
    EXPECT_EQ(std::string(client_.quantPackage), c.quantPackage);
    EXPECT_EQ(client_.hasQuant, !c.quantPackage.empty());
    EXPECT_EQ(client_.downloadsExpected, c.quantPackage.empty() ? 5 : 6);
    EXPECT_EQ(client_.downloadsDone, 1) << "the manifest's own download counts";
    EXPECT_TRUE(log_.Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Manifests, ManifestValues,
    testing::Values(
        ManifestCase{"plain", "[cfgstamp]\r\ntime=42\r\n[fixstamp]\r\n201805=9.5.9.1_fix\r\n", 42, "9.5.9.1_fix", ""},
        ManifestCase{"digitsThenText", "[cfgstamp]\r\ntime=12abc\r\n", 12, "", ""},
        ManifestCase{"noDigits", "[cfgstamp]\r\ntime=abc\r\n", 0, "", ""},
        ManifestCase{"spaceAndSign", "[cfgstamp]\r\ntime= -7\r\n", -7, "", ""},
        ManifestCase{"beyond64Bits", "[cfgstamp]\r\ntime=99999999999999999999\r\n", LLONG_MAX, "", ""},
        ManifestCase{"belowMinimum", "[cfgstamp]\r\ntime=-99999999999999999999\r\n", LLONG_MIN, "", ""},
        ManifestCase{"noStamp", "[fixstamp]\r\n201805=r\r\n", 0, "r", ""},
        // Only this build's package code counts; section and key names ignore letter case.
        ManifestCase{"severalCodes",
                     "[FixStamp]\r\n201804=old_fix\r\n201805=this_fix\r\n201806=new_fix\r\n[QUANT]\r\n201806=other_q\r\n"
                     "201805=this_quant\r\n[other]\r\ntime=9\r\n",
                     0, "this_fix", "this_quant"},
        ManifestCase{"longName", "[fixstamp]\r\n201805=ABCDEFGHIJKLMNOPQRSTUVWXY\r\n[quant]\r\n201805=abcdefghijklmnopqrstuvwxy\r\n",
                     0, "ABCDEFGHIJKLMNOPQRST", "abcdefghijklmnopqrst"},
        ManifestCase{"emptyQuant", "[fixstamp]\r\n201805=f\r\n[quant]\r\n201805=\r\n", 0, "f", ""},
        ManifestCase{"empty", "", 0, "", ""}),
    [](const testing::TestParamInfo<ManifestCase>& info) { return std::string(info.param.name); });

TEST_F(RemoteManifest, PostsItsProgressWithFiveDownloadsBeforeQuantRaisesThem) {
    kavtest::PutObject(kManifestKey, "[fixstamp]\r\n201805=f\r\n[quant]\r\n201805=q\r\n" + std::string(600 * 1024, ';'));
    ASSERT_TRUE(client_.ReadRemoteManifest());
    recorder_.Pump();
    const std::vector<int> progress = recorder_.Progress();
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.back(), 16) << "computed with five expected downloads";
    for (int p : progress) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 16);
    }
    EXPECT_EQ(client_.downloadsExpected, 6);
    EXPECT_EQ(recorder_.Messages().size(), progress.size()) << "the manifest read posts no step";
}

TEST_F(RemoteManifest, TheCutRuntimeNameIsTheDownloadKey) {
    kavtest::PutObject(kManifestKey, "[fixstamp]\r\n201805=ABCDEFGHIJKLMNOPQRSTUVWXY\r\n");
    kavtest::PutObject("9.5KAvrindelIE/fix/ABCDEFGHIJKLMNOPQRST.zip", "runtime");
    ASSERT_TRUE(client_.ReadRemoteManifest());
    ASSERT_TRUE(client_.DownloadFixPackage((std::string(client_.fixPackage) + ".zip").c_str()));
    EXPECT_EQ(kavtest::ReadFileBytes(staging_.Path() + "\\ABCDEFGHIJKLMNOPQRST.zip"), "runtime");
}

TEST_F(RemoteManifest, AMissingManifestFailsAndLeavesTheValuesEmpty) {
    ASSERT_TRUE(::DeleteFileA((account_.root + "\\9.5KAvrindelIE\\summary.ini").c_str()));
    EXPECT_FALSE(client_.ReadRemoteManifest());
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{"9.5KAvrindelIE/summary.ini,文件不存在"});
    EXPECT_EQ(client_.cfgTime, 0);
    EXPECT_STREQ(client_.fixPackage, "");
    EXPECT_FALSE(client_.hasQuant);
    EXPECT_EQ(client_.downloadsExpected, 5);
    EXPECT_EQ(client_.downloadsDone, 0);
    // Leave a manifest for the cases that run after this one and expect the object to exist.
    kavtest::PutObject(kManifestKey, "");
}

}  // namespace
