#include <gtest/gtest.h>

#include <string>

#include "cloud/Base64.h"
#include "cloud/Crc64.h"
#include "cloud/HttpDate.h"
#include "cloud/PercentEncoding.h"

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
                                         CrcCase{std::string(3, '\0'), 0xEAF95FC670D9DB46ULL}));

TEST(Crc64, PiecesGiveTheCrcOfTheWhole) {
    // Blocks of every length around the 8-byte stride, including single bytes, must chain.
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>((i * 131 + 7) & 0xFF);
    const std::uint64_t whole = Crc64Update(0, data.data(), data.size());
    for (size_t piece : {1u, 3u, 7u, 8u, 9u, 64u, 999u}) {
        std::uint64_t crc = 0;
        for (size_t at = 0; at < data.size(); at += piece) {
            crc = Crc64Update(crc, data.data() + at, std::min(piece, data.size() - at));
        }
        EXPECT_EQ(crc, whole) << "piece " << piece;
    }
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
