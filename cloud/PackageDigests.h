#pragma once
// The SHA-256 of each package that a verified manifest pins, by the package's object path below
// the prefix ("base.zip", "fix/<name>.zip"). A package without an entry is not installed.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cloud/Sha256.h"

namespace kav::oss {

// 64 hexadecimal digits, either case, nothing else.
bool ParseSha256Hex(std::string_view text, Sha256Digest& digest);

class PackageDigests {
public:
    void Set(const std::string& path, const Sha256Digest& digest);
    // Null when the manifest pins no digest for the path (compared byte for byte).
    const Sha256Digest* Find(std::string_view path) const;
    void Clear() { entries_.clear(); }

private:
    std::vector<std::pair<std::string, Sha256Digest>> entries_;
};

}  // namespace kav::oss
