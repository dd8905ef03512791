// Reading the bucket's manifest into the cloud client, against the local bucket.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
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
#include "cloud/Base64.h"
#include "cloud/Sha256.h"

namespace {

constexpr char kManifestKey[] = "9.5KAvrindelIE/summary.ini";
constexpr char kSignatureKey[] = "9.5KAvrindelIE/summary.ini.sig";

// A manifest placed in the bucket and signed as it is.
void PutSignedManifest(const std::string& manifest) {
    kavtest::PutObject(kManifestKey, manifest);
    ASSERT_TRUE(kavtest::SignRelease(true));
}

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
    PutSignedManifest(c.manifest);
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
    PutSignedManifest("[fixstamp]\r\n201805=f\r\n[quant]\r\n201805=q\r\n" + std::string(600 * 1024, ';'));
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
    EXPECT_EQ(client_.downloadsDone, 1) << "the signature is part of the manifest's download";
    EXPECT_EQ(recorder_.Messages().size(), progress.size()) << "the manifest read posts no step";
}

TEST_F(RemoteManifest, TheCutRuntimeNameIsTheDownloadKey) {
    // The digest is pinned under the name the installer uses: the name cut to 20 characters.
    PutSignedManifest("[fixstamp]\r\n201805=ABCDEFGHIJKLMNOPQRSTUVWXY\r\n[sha256]\r\nfix/ABCDEFGHIJKLMNOPQRST.zip="
                      "D92C6A81B2FF50096BCDA80885427D1F59A25B5F483F7055523504925D16AB23\r\n");
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

// ---- the manifest's signature -------------------------------------------------------------------

constexpr char kSignedManifest[] = "[cfgstamp]\r\ntime=42\r\n[fixstamp]\r\n201805=9.5.9.1_fix\r\n";

struct Objects {
    std::string manifest;
    std::string signature;
    bool signaturePresent = true;
};

std::string FlipBit(std::string bytes, size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
}

std::string Signature(const Objects& o) {
    std::string raw;
    EXPECT_TRUE(kav::oss::Base64Decode(o.signature.substr(0, o.signature.find('\n')), raw));
    return raw;
}

struct SignatureCase {
    const char* name;
    void (*change)(Objects&);
    const char* refusal;  // the log line's suffix after the signature's key; null when accepted
};

class ManifestSignatures : public RemoteManifest, public testing::WithParamInterface<SignatureCase> {};

// The release is signed, then changed in the bucket as an attacker or a broken upload would.
TEST_P(ManifestSignatures, AreCheckedBeforeAnyValueIsRead) {
    const SignatureCase& c = GetParam();
    PutSignedManifest(kSignedManifest);
    ASSERT_TRUE(kavtest::SignRelease());  // [sha256] for the packages the manifest names
    Objects objects{kavtest::ReadObject(kManifestKey), kavtest::ReadObject(kSignatureKey)};
    c.change(objects);
    kavtest::PutObject(kManifestKey, objects.manifest);
    if (objects.signaturePresent) {
        kavtest::PutObject(kSignatureKey, objects.signature);
    } else {
        ASSERT_TRUE(::DeleteFileA((account_.root + "\\9.5KAvrindelIE\\summary.ini.sig").c_str()));
    }
    ASSERT_TRUE(kavtest::ResetBucket());

    const bool read = client_.ReadRemoteManifest();
    EXPECT_EQ(client_.downloadsDone, 1) << "the manifest counts, its signature does not";
    // The signature is fetched right after the manifest; nothing else is requested.
    std::vector<std::string> keys;
    for (const auto& r : kavtest::RequestLog()) {
        EXPECT_TRUE(r.rawKey == kManifestKey || r.rawKey == kSignatureKey) << r.method << " " << r.rawKey;
        keys.push_back(r.method + " " + r.rawKey);
    }
    const auto manifestGet = std::find(keys.begin(), keys.end(), std::string("GET ") + kManifestKey);
    const auto signatureHead = std::find(keys.begin(), keys.end(), std::string("HEAD ") + kSignatureKey);
    const auto signatureGet = std::find(keys.begin(), keys.end(), std::string("GET ") + kSignatureKey);
    EXPECT_LT(manifestGet, signatureHead);
    EXPECT_EQ(signatureGet != keys.end(), objects.signaturePresent);
    EXPECT_LE(signatureHead, signatureGet);

    if (c.refusal == nullptr) {
        ASSERT_TRUE(read);
        EXPECT_TRUE(log_.Lines().empty());
        EXPECT_STREQ(client_.fixPackage, "9.5.9.1_fix");
        for (const std::string path : {"base.zip", "config.zip", "fix/9.5.9.1_fix.zip"}) {
            kav::oss::Sha256Digest digest{};
            ASSERT_TRUE(kav::oss::ComputeSha256(kavtest::ReadObject(std::string(kObjectPrefix) + "/" + path), digest));
            const kav::oss::Sha256Digest* pinned = client_.packageDigests.Find(path);
            ASSERT_NE(pinned, nullptr) << path;
            EXPECT_TRUE(*pinned == digest) << path;
        }
        return;
    }
    EXPECT_FALSE(read);
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{std::string(kSignatureKey) + c.refusal});
    EXPECT_EQ(client_.cfgTime, 0);
    EXPECT_STREQ(client_.fixPackage, "");
    EXPECT_EQ(client_.packageDigests.Find("base.zip"), nullptr);
    EXPECT_EQ(client_.downloadsExpected, 5);
}

constexpr char kMalformed[] = ",签名格式错误";
constexpr char kWrong[] = ",签名验证失败";

INSTANTIATE_TEST_SUITE_P(
    Signatures, ManifestSignatures,
    testing::Values(
        SignatureCase{"asSigned", [](Objects&) {}, nullptr},
        SignatureCase{"trailingCrLf", [](Objects& o) { o.signature += "\r\n"; }, nullptr},
        SignatureCase{"missing", [](Objects& o) { o.signaturePresent = false; }, ",文件不存在"},
        SignatureCase{"empty", [](Objects& o) { o.signature.clear(); }, kMalformed},
        SignatureCase{"notBase64", [](Objects& o) { o.signature = std::string(88, '*'); }, kMalformed},
        SignatureCase{"leadingSpace", [](Objects& o) { o.signature = " " + o.signature; }, kMalformed},
        SignatureCase{"63Bytes", [](Objects& o) { o.signature = kav::oss::Base64Encode(Signature(o).substr(1)); },
                      kMalformed},
        SignatureCase{"65Bytes", [](Objects& o) { o.signature = kav::oss::Base64Encode(Signature(o) + '\x01'); },
                      kMalformed},
        SignatureCase{"flippedSignatureBit",
                      [](Objects& o) { o.signature = kav::oss::Base64Encode(FlipBit(Signature(o), 40)); }, kWrong},
        SignatureCase{"flippedManifestBit", [](Objects& o) { o.manifest = FlipBit(o.manifest, 3); }, kWrong},
        SignatureCase{"otherRuntimeNamed",
                      [](Objects& o) { o.manifest.replace(o.manifest.find("9.5.9.1_fix"), 11, "9.5.9.2_fix"); }, kWrong},
        SignatureCase{"otherDigestPinned",
                      [](Objects& o) {
                          const size_t at = o.manifest.find("base.zip=") + 9;
                          o.manifest[at] = o.manifest[at] == '0' ? '1' : '0';
                      },
                      kWrong}),
    [](const testing::TestParamInfo<SignatureCase>& info) { return std::string(info.param.name); });

}  // namespace
