#include "cloud/Base64.h"

namespace kav::oss {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr size_t kGroupChars = 4;

// The 6-bit value of an alphabet character; -1 for any other character.
int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kPad;
        out += kPad;
    } else if (rest == 2) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kPad;
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
    bytes.clear();
    if (text.size() % kGroupChars != 0) return false;
    bytes.reserve(text.size() / kGroupChars * 3);
    for (size_t i = 0; i < text.size(); i += kGroupChars) {
        const bool last = i + kGroupChars == text.size();
        const size_t padding = last ? (text[i + 3] == kPad) + (text[i + 2] == kPad && text[i + 3] == kPad) : 0;
        unsigned v = 0;
        for (size_t j = 0; j < kGroupChars; ++j) {
            if (j >= kGroupChars - padding) {
                v <<= 6;
                continue;
            }
            const int sextet = SextetOf(text[i + j]);
            if (sextet < 0) return false;
            v = (v << 6) | static_cast<unsigned>(sextet);
        }
        // Bits under the padding must be zero, so that every byte string has one encoding.
        if ((padding == 1 && (v & 0xFF) != 0) || (padding == 2 && (v & 0xFFFF) != 0)) return false;
        bytes += static_cast<char>((v >> 16) & 0xFF);
        if (padding < 2) bytes += static_cast<char>((v >> 8) & 0xFF);
        if (padding < 1) bytes += static_cast<char>(v & 0xFF);
    }
    return true;
}

}  // namespace kav::oss
