#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cloud/Base64.h"
#include "cloud/BodyChecks.h"
#include "cloud/Crc64.h"
#include "cloud/HttpDate.h"
#include "cloud/PercentEncoding.h"
#include "cloud/Sha256.h"

namespace {

using kav::oss::Crc64Update;

struct CrcCase {
    std::string data;
    std::uint64_t crc;
};

class Crc64Values : public testing::TestWithParam<CrcCase> {};

// Reference values of CRC-64/XZ (the ECMA-182 polynomial, reflected, all-ones init and xorout),
// which the storage service sends as x-oss-hash-crc64ecma.
TEST_P(Crc64Values, MatchesTheServicesValue) {
    const CrcCase& c = GetParam();
    EXPECT_EQ(Crc64Update(0, c.data.data(), c.data.size()), c.crc);
}

INSTANTIATE_TEST_SUITE_P(Reference, Crc64Values,
                         testing::Values(CrcCase{"", 0}, CrcCase{"123456789", 0x995DC9BBDF1939FAULL},
                                         CrcCase{"a", 0x330284772E652B05ULL},
                                         CrcCase{std::string(3, '\0'), 0xEAF95FC670D9DB46ULL},
                                         // Long enough for the 16-byte steps, with a tail behind them.
                                         CrcCase{"The quick brown fox jumps over the lazy dog",
                                                 0x5B5EB8C2E54AA1C4ULL}));

TEST(Crc64, PiecesGiveTheCrcOfTheWhole) {
    // Blocks of every length around the 16-byte stride, including single bytes, must chain; the
    // whole is checked against a bit-by-bit reference.
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>((i * 131 + 7) & 0xFF);
    const std::uint64_t whole = Crc64Update(0, data.data(), data.size());
    EXPECT_EQ(whole, 0x4B6301B25AC3678BULL);
    for (size_t piece : {1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 64u, 999u}) {
        std::uint64_t crc = 0;
        for (size_t at = 0; at < data.size(); at += piece) {
            crc = Crc64Update(crc, data.data() + at, std::min(piece, data.size() - at));
        }
        EXPECT_EQ(crc, whole) << "piece " << piece;
    }
}

std::string Hex(const kav::oss::Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : digest) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string RepeatedBytes() {
    std::string data;
    for (int i = 0; i < 1000; ++i) data.append("\xFF\xFE\x00", 3);
    return data;
}

struct Sha256Case {
    std::string data;
    std::string hex;  // as sha256sum prints it
};

class Sha256Values : public testing::TestWithParam<Sha256Case> {};

TEST_P(Sha256Values, MatchSha256sum) {
    kav::oss::Sha256Digest digest{};
    ASSERT_TRUE(kav::oss::ComputeSha256(GetParam().data, digest));
    EXPECT_EQ(Hex(digest), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(
    Reference, Sha256Values,
    testing::Values(Sha256Case{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                    Sha256Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                    Sha256Case{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
                    Sha256Case{RepeatedBytes(), "2c852c3680753abc52388b88e97c8f5b5ea6602d1f7d23c9db3b2b7685b0ed8f"}));

TEST(Sha256, PiecesGiveTheDigestOfTheWholeAndFinishIsFinal) {
    const std::string data = RepeatedBytes();
    for (size_t piece : {1u, 63u, 64u, 65u, 2999u}) {
        kav::oss::Sha256 hash;
        ASSERT_TRUE(hash.Valid());
        for (size_t at = 0; at < data.size(); at += piece) {
            ASSERT_TRUE(hash.Update(data.data() + at, std::min(piece, data.size() - at)));
        }
        kav::oss::Sha256Digest digest{};
        ASSERT_TRUE(hash.Finish(digest));
        EXPECT_EQ(Hex(digest), "2c852c3680753abc52388b88e97c8f5b5ea6602d1f7d23c9db3b2b7685b0ed8f") << "piece " << piece;
        // A spent hash object must not hand out a digest of anything else.
        EXPECT_FALSE(hash.Update("x", 1));
        EXPECT_FALSE(hash.Finish(digest));
    }
    kav::oss::Sha256 other;
    kav::oss::Sha256Digest expected{};
    ASSERT_TRUE(kav::oss::ComputeSha256("abd", expected));
    ASSERT_TRUE(other.Update("abc", 3));
    EXPECT_FALSE(other.Matches(expected));
}

// The checks of a download: continued across the parts of the file, forgotten when it starts over.
TEST(BodyChecks, CoverTheFileSinceItLastStartedOver) {
    kav::oss::Sha256Digest whole{};
    ASSERT_TRUE(kav::oss::ComputeSha256("123456789", whole));
    kav::oss::BodyChecks checks(true, true);
    checks.Update("abandoned", 9);
    checks.Reset();
    checks.Update("1234", 4);
    checks.Update("56789", 5);
    EXPECT_EQ(checks.Crc64(), 11051210869376104954ULL);
    EXPECT_TRUE(checks.Sha256Matches(whole));
    // Once spent, the hash matches nothing until the file starts over.
    EXPECT_FALSE(checks.Sha256Matches(whole));
    checks.Reset();
    EXPECT_EQ(checks.Crc64(), 0u);
    checks.Update("123456789", 9);
    EXPECT_TRUE(checks.Sha256Matches(whole));

    kav::oss::BodyChecks off(false, false);
    off.Update("123456789", 9);
    EXPECT_FALSE(off.HasCrc64());
    EXPECT_TRUE(off.Sha256Matches(kav::oss::Sha256Digest{})) << "no digest asked for, none to miss";
}

struct TextCase {
    std::string in;
    std::string out;
};

class Base64Values : public testing::TestWithParam<TextCase> {};

TEST_P(Base64Values, EncodesAsRfc4648) { EXPECT_EQ(kav::oss::Base64Encode(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(Rfc4648, Base64Values,
                         testing::Values(TextCase{"", ""}, TextCase{"f", "Zg=="}, TextCase{"fo", "Zm8="},
                                         TextCase{"foo", "Zm9v"}, TextCase{"foob", "Zm9vYg=="},
                                         TextCase{"fooba", "Zm9vYmE="}, TextCase{"foobar", "Zm9vYmFy"},
                                         TextCase{std::string("\xFF\xFE\x00", 3), "//4A"}));

class KeyEncoding : public testing::TestWithParam<TextCase> {};

TEST_P(KeyEncoding, EncodesEveryByteOutsideTheUnreservedSet) {
    EXPECT_EQ(kav::oss::PercentEncodeObjectKey(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyEncoding,
    testing::Values(TextCase{"9.5KAvrindelIE/summary.ini", "9.5KAvrindelIE/summary.ini"},
                    TextCase{"a b+c&d=e?f#g%h", "a%20b%2Bc%26d%3De%3Ff%23g%25h"},
                    TextCase{"A-Z_a.z~0/9", "A-Z_a.z~0/9"},
                    // The source is compiled to GBK: these are the two GBK bytes of each character,
                    // never their UTF-8 form (%E5%AE%89%E8%A3%85).
                    TextCase{"fix/安装.zip", "fix/%B0%B2%D7%B0.zip"},
                    TextCase{std::string("\x01\x7F\x80\xFF", 4), "%01%7F%80%FF"}));

TEST(HttpDate, FormatsRfc1123InGmt) {
    SYSTEMTIME t = {};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDayOfWeek = 4;
    t.wDay = 10;
    t.wHour = 12;
    t.wMinute = 8;
    t.wSecond = 37;
    EXPECT_EQ(kav::oss::FormatHttpDate(t), "Thu, 10 Dec 2026 12:08:37 GMT");
    t.wMonth = 1;
    t.wDay = 4;
    t.wDayOfWeek = 0;
    t.wHour = 0;
    t.wMinute = 0;
    t.wSecond = 5;
    EXPECT_EQ(kav::oss::FormatHttpDate(t), "Sun, 04 Jan 2026 00:00:05 GMT");
}

}  // namespace
