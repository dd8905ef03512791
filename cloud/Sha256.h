#pragma once
// SHA-256 through Windows' CNG (bcrypt.dll from System32), fed piece by piece: a download hashes
// each block as it arrives, so the file is never read a second time.
#include <array>
#include <cstddef>
#include <string_view>

#include "cloud/BcryptHandles.h"

namespace kav::oss {

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
public:
    // Opens its own provider and hash object; Valid() is false when CNG refuses.
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Valid() const { return !failed_; }
    // False once any call has failed; later calls then fail too.
    bool Update(const void* data, std::size_t size);
    // The digest of everything given to Update. Once: the hash object is spent afterwards.
    bool Finish(Sha256Digest& digest);
    // Finish, then compare; false when the hash failed or differs.
    bool Matches(const Sha256Digest& expected);

private:
    UniqueBcryptAlgorithm provider_;
    UniqueBcryptHash hash_;
    bool failed_ = false;
};

// The digest of one piece of memory; false when CNG refuses.
bool ComputeSha256(std::string_view data, Sha256Digest& digest);

}  // namespace kav::oss
