#include "cloud/Crc64.h"

#include <array>

namespace kav::oss {

namespace {

constexpr std::uint64_t kReflectedPolynomial = 0xC96C5795D7870F42ULL;
constexpr int kSlices = 8;

// Slice-by-8 tables: table[0] is the classic byte table, table[k] advances a byte k positions.
using Tables = std::array<std::array<std::uint64_t, 256>, kSlices>;

constexpr Tables MakeTables() {
    Tables t{};
    for (std::uint64_t n = 0; n < 256; ++n) {
        std::uint64_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
        t[0][n] = c;
    }
    for (int k = 1; k < kSlices; ++k) {
        for (std::size_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
    return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint64_t Crc64Update(std::uint64_t crc, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint64_t c = ~crc;
    while (size >= kSlices) {
        std::uint64_t word = 0;
        for (int i = 0; i < kSlices; ++i) word |= static_cast<std::uint64_t>(p[i]) << (8 * i);
        c ^= word;
        c = kTables[7][c & 0xFF] ^ kTables[6][(c >> 8) & 0xFF] ^ kTables[5][(c >> 16) & 0xFF] ^
            kTables[4][(c >> 24) & 0xFF] ^ kTables[3][(c >> 32) & 0xFF] ^ kTables[2][(c >> 40) & 0xFF] ^
            kTables[1][(c >> 48) & 0xFF] ^ kTables[0][c >> 56];
        p += kSlices;
        size -= kSlices;
    }
    while (size-- > 0) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace kav::oss
