#pragma once
// The checks that run over a downloaded file's bytes as they are written: the CRC-64 (compared
// with the service's x-oss-hash-crc64ecma, which names the whole object's) and, when the request
// names a digest, the SHA-256. They continue across the parts of a resumed download, so they
// always cover the whole file, and start again when the file does.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "cloud/Sha256.h"

namespace kav::oss {

class BodyChecks {
public:
    BodyChecks(bool crc64, bool sha256);
    BodyChecks(const BodyChecks&) = delete;
    BodyChecks& operator=(const BodyChecks&) = delete;

    // The file starts again from byte 0.
    void Reset();
    // The next bytes of the file.
    void Update(const void* data, std::size_t size);

    bool HasCrc64() const { return crc64On_; }
    // The CRC-64 of everything since the last Reset.
    std::uint64_t Crc64() const { return crc64_; }
    // Finishes the SHA-256 of everything since the last Reset and compares it; true when the
    // check is off. Spends the hash: call Reset before further bytes.
    bool Sha256Matches(const Sha256Digest& expected);

private:
    bool crc64On_;
    bool sha256On_;
    std::uint64_t crc64_ = 0;
    std::optional<Sha256> sha256_;
};

}  // namespace kav::oss
