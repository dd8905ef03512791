#include "cloud/Crc64.h"

#include <array>
#include <cstring>

namespace kav::oss {

namespace {

constexpr std::uint64_t kReflectedPolynomial = 0xC96C5795D7870F42ULL;
// Sixteen bytes per step: twice the tables of slicing-by-8 (32 KiB, still within the first-level
// cache) for about 1.5 times its speed on this CPU class.
constexpr int kSlices = 16;
constexpr int kWordBytes = 8;

// Slice-by-16 tables: table[0] is the classic byte table, table[k] advances a byte k positions.
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

// Eight bytes as a little-endian number (the byte order of every x64 Windows machine).
std::uint64_t LoadWord(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, kWordBytes);
    return word;
}

// The contributions of a word's eight bytes that lie first + 0 .. first + 7 positions from the end.
std::uint64_t Fold(std::uint64_t w, int first) {
    return kTables[first + 7][w & 0xFF] ^ kTables[first + 6][(w >> 8) & 0xFF] ^ kTables[first + 5][(w >> 16) & 0xFF] ^
           kTables[first + 4][(w >> 24) & 0xFF] ^ kTables[first + 3][(w >> 32) & 0xFF] ^
           kTables[first + 2][(w >> 40) & 0xFF] ^ kTables[first + 1][(w >> 48) & 0xFF] ^ kTables[first][w >> 56];
}

}  // namespace

std::uint64_t Crc64Update(std::uint64_t crc, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint64_t c = ~crc;
    while (size >= kSlices) {
        c = Fold(c ^ LoadWord(p), kWordBytes) ^ Fold(LoadWord(p + kWordBytes), 0);
        p += kSlices;
        size -= kSlices;
    }
    while (size-- > 0) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace kav::oss
