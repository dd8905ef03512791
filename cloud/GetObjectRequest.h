#pragma once
// A download request: bucket and key, the factory of the stream that receives the body, the
// progress handler called after each block of the body has been written and, optionally, the
// SHA-256 that the whole body must have.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "cloud/ResponseStream.h"
#include "cloud/Sha256.h"

namespace kav::oss {

// increment: bytes of the block just written; transferred: bytes of the body so far in this
// attempt; total: the body's length, or -1 when the response names none.
using TransferProgressHandler = void (*)(std::size_t increment, std::int64_t transferred, std::int64_t total,
                                         void* userData);

struct TransferProgress {
    TransferProgressHandler handler = nullptr;
    void* userData = nullptr;
};

class GetObjectRequest {
public:
    GetObjectRequest(std::string bucket, std::string key) : bucket_(std::move(bucket)), key_(std::move(key)) {}

    void setResponseStreamFactory(ResponseStreamFactory factory) { factory_ = std::move(factory); }
    void setTransferProgress(const TransferProgress& progress) { progress_ = progress; }
    // A body with another digest is an integrity failure, like a CRC-64 mismatch.
    void setExpectedSha256(const Sha256Digest& digest) { expectedSha256_ = digest; }

    const std::string& Bucket() const { return bucket_; }
    const std::string& Key() const { return key_; }
    const ResponseStreamFactory& StreamFactory() const { return factory_; }
    const TransferProgress& Progress() const { return progress_; }
    const std::optional<Sha256Digest>& ExpectedSha256() const { return expectedSha256_; }

private:
    std::string bucket_;
    std::string key_;
    ResponseStreamFactory factory_;
    TransferProgress progress_;
    std::optional<Sha256Digest> expectedSha256_;
};

}  // namespace kav::oss
