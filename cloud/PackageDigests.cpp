#include "cloud/PackageDigests.h"

namespace kav::oss {

namespace {

int NibbleOf(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseSha256Hex(std::string_view text, Sha256Digest& digest) {
    if (text.size() != 2 * digest.size()) return false;
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = NibbleOf(text[2 * i]);
        const int low = NibbleOf(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

void PackageDigests::Set(const std::string& path, const Sha256Digest& digest) {
    for (auto& entry : entries_) {
        if (entry.first == path) {
            entry.second = digest;
            return;
        }
    }
    entries_.emplace_back(path, digest);
}

const Sha256Digest* PackageDigests::Find(std::string_view path) const {
    for (const auto& entry : entries_) {
        if (entry.first == path) return &entry.second;
    }
    return nullptr;
}

}  // namespace kav::oss
