#pragma once
// A download request: bucket and key, the factory of the stream that receives the body, and the
// progress handler called after each block of the body has been written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cloud/ResponseStream.h"

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

    const std::string& Bucket() const { return bucket_; }
    const std::string& Key() const { return key_; }
    const ResponseStreamFactory& StreamFactory() const { return factory_; }
    const TransferProgress& Progress() const { return progress_; }

private:
    std::string bucket_;
    std::string key_;
    ResponseStreamFactory factory_;
    TransferProgress progress_;
};

}  // namespace kav::oss
