// The texts of a signed release that the installer reads itself: the .sig line, the [sha256]
// values and the base64 beneath them.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "cloud/Base64.h"
#include "cloud/PackageDigests.h"
#include "cloud/ReleaseSignature.h"

namespace {

struct DecodeCase {
    std::string text;
    bool valid;
    std::string bytes;
};

class Base64Decoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(Base64Decoding, AcceptsOnlyCanonicalBase64) {
    std::string bytes = "left over";
    EXPECT_EQ(kav::oss::Base64Decode(GetParam().text, bytes), GetParam().valid) << GetParam().text;
    if (GetParam().valid) {
        EXPECT_EQ(bytes, GetParam().bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rfc4648, Base64Decoding,
    testing::Values(DecodeCase{"", true, ""}, DecodeCase{"Zg==", true, "f"}, DecodeCase{"Zm8=", true, "fo"},
                    DecodeCase{"Zm9vYmFy", true, "foobar"}, DecodeCase{"//4A", true, std::string("\xFF\xFE\x00", 3)},
                    DecodeCase{"Zg", false, ""},        // padding missing
                    DecodeCase{"Zh==", false, ""},      // bits under the padding
                    DecodeCase{"Zm9=", false, ""},      // likewise, one pad
                    DecodeCase{"Z===", false, ""},      // three pads
                    DecodeCase{"Zg==Zg==", false, ""},  // padding inside
                    DecodeCase{"Zm 9v", false, ""},     // white space
                    DecodeCase{"Zm9-", false, ""},      // the URL alphabet
                    DecodeCase{"Zm9v\n", false, ""}));

TEST(SignatureText, IgnoresOnlyTrailingLineEnds) {
    const std::string good = kav::oss::Base64Encode(std::string(64, '\x5A'));
    kav::oss::EcdsaP256Signature signature{};
    for (const std::string& text : {good, good + "\n", good + "\r\n", good + "\r", good + "\n\n"}) {
        signature.fill(0);
        EXPECT_TRUE(kav::oss::ParseSignatureText(text, signature)) << text;
        EXPECT_EQ(signature[0], 0x5A);
        EXPECT_EQ(signature[63], 0x5A);
    }
    for (const std::string& text : {std::string(), std::string("\r\n"), "\n" + good, good + " ", good + "\n ",
                                    kav::oss::Base64Encode(std::string(63, 'x')),
                                    kav::oss::Base64Encode(std::string(65, 'x')), good.substr(0, 44) + "\n" + good.substr(44)}) {
        EXPECT_FALSE(kav::oss::ParseSignatureText(text, signature)) << text;
    }
}

TEST(Sha256Hex, SixtyFourDigitsOfEitherCase) {
    kav::oss::Sha256Digest digest{};
    const std::string lower = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    ASSERT_TRUE(kav::oss::ParseSha256Hex(lower, digest));
    EXPECT_EQ(digest[0], 0xE3);
    EXPECT_EQ(digest[31], 0x55);
    kav::oss::Sha256Digest upper{};
    std::string upperText = lower;
    for (char& c : upperText) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(kav::oss::ParseSha256Hex(upperText, upper));
    EXPECT_EQ(upper, digest);
    for (const std::string& bad : {lower.substr(1), lower + "0", " " + lower.substr(1), lower.substr(0, 63) + "g",
                                   std::string()}) {
        EXPECT_FALSE(kav::oss::ParseSha256Hex(bad, digest)) << bad;
    }
}

TEST(PackageDigests, FindsExactlyThePinnedPath) {
    kav::oss::PackageDigests digests;
    kav::oss::Sha256Digest one{}, two{};
    one.fill(1);
    two.fill(2);
    digests.Set("fix/R.zip", one);
    digests.Set("base.zip", one);
    digests.Set("base.zip", two);  // a second value replaces the first
    ASSERT_NE(digests.Find("base.zip"), nullptr);
    EXPECT_EQ(*digests.Find("base.zip"), two);
    EXPECT_EQ(*digests.Find("fix/R.zip"), one);
    for (const char* other : {"fix/r.zip", "R.zip", "fix/R.zip ", "quant/R.zip", ""}) {
        EXPECT_EQ(digests.Find(other), nullptr) << other;
    }
    digests.Clear();
    EXPECT_EQ(digests.Find("base.zip"), nullptr);
}

}  // namespace
