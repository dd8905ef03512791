#include "cloud/PercentEncoding.h"

namespace kav::oss {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool KeptAsIs(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '~' || c == '/';
}

}  // namespace

std::string PercentEncodeObjectKey(std::string_view key) {
    std::string out;
    out.reserve(key.size() * 3);
    for (const char ch : key) {
        const auto c = static_cast<unsigned char>(ch);
        if (KeptAsIs(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 15];
        }
    }
    return out;
}

}  // namespace kav::oss
