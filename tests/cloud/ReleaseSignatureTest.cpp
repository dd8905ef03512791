// The manifest's signature checked through CNG against signatures that the openssl command line
// made (tests/cloud/with_signature_cases.py writes them and the test key before this runs).
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "cloud/PackageDigests.h"
#include "cloud/ReleaseSignature.h"
#include "cloud/Sha256.h"

namespace {

using kav::oss::ManifestSignatureCheck;

std::string CasesFolder() { return kavtest::Env("KAV_SIGNATURE_CASES"); }

kav::oss::ReleasePublicKey TestKey() {
    kav::oss::ReleasePublicKey key;
    const std::string hex = kavtest::ReadFileBytes(CasesFolder() + "\\test-key.hex");
    // The point's 64 bytes read as two digests of 32.
    kav::oss::Sha256Digest x{}, y{};
    EXPECT_TRUE(kav::oss::ParseSha256Hex(hex.substr(0, 64), x) && kav::oss::ParseSha256Hex(hex.substr(64), y)) << hex;
    std::copy(x.begin(), x.end(), key.point.begin());
    std::copy(y.begin(), y.end(), key.point.begin() + 32);
    return key;
}

struct InteropCase {
    const char* file;
    ManifestSignatureCheck expected;
};

class OpensslSignatures : public testing::TestWithParam<InteropCase> {};

TEST_P(OpensslSignatures, AreJudgedByCng) {
    ASSERT_FALSE(CasesFolder().empty()) << "run through with_signature_cases.py";
    const std::string manifest = kavtest::ReadFileBytes(CasesFolder() + "\\manifest.ini");
    ASSERT_FALSE(manifest.empty());
    kav::oss::Sha256Digest digest{};
    ASSERT_TRUE(kav::oss::ComputeSha256(manifest, digest));
    const std::string signature = kavtest::ReadFileBytes(CasesFolder() + "\\" + GetParam().file);
    ASSERT_FALSE(signature.empty());
    EXPECT_EQ(kav::oss::CheckManifestSignature(TestKey(), digest, signature), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpensslSignatures,
    testing::Values(InteropCase{"openssl.sig", ManifestSignatureCheck::Valid},
                    InteropCase{"openssl-crlf.sig", ManifestSignatureCheck::Valid},
                    InteropCase{"openssl-bare.sig", ManifestSignatureCheck::Valid},
                    InteropCase{"other-key.sig", ManifestSignatureCheck::Invalid},
                    InteropCase{"other-manifest.sig", ManifestSignatureCheck::Invalid},
                    InteropCase{"zero.sig", ManifestSignatureCheck::Invalid},
                    InteropCase{"beyond-order.sig", ManifestSignatureCheck::Invalid},
                    InteropCase{"der.sig", ManifestSignatureCheck::Malformed},
                    InteropCase{"two-lines.sig", ManifestSignatureCheck::Malformed}),
    [](const testing::TestParamInfo<InteropCase>& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        for (char& c : name) {
            if (c == '-') c = '_';
        }
        return name;
    });

// The same key imported from a blob that is not a point of the curve cannot check anything.
TEST(ReleaseKey, APointOffTheCurveIsNoKey) {
    ASSERT_FALSE(CasesFolder().empty());
    kav::oss::ReleasePublicKey key = TestKey();
    key.point[63] ^= 1;
    const std::string manifest = kavtest::ReadFileBytes(CasesFolder() + "\\manifest.ini");
    kav::oss::Sha256Digest digest{};
    ASSERT_TRUE(kav::oss::ComputeSha256(manifest, digest));
    EXPECT_NE(kav::oss::CheckManifestSignature(key, digest, kavtest::ReadFileBytes(CasesFolder() + "\\openssl.sig")),
              ManifestSignatureCheck::Valid);
}

}  // namespace
