#pragma once
// Where a downloaded body goes. The request's factory makes a new stream for every attempt, so a
// retried download starts again in a fresh (truncated) file.
#include <cstddef>
#include <functional>
#include <memory>

namespace kav::oss {

class ResponseStream {
public:
    virtual ~ResponseStream() = default;
    // Appends the bytes; false when they could not all be written.
    virtual bool Write(const void* data, std::size_t size) = 0;
};

using ResponseStreamFactory = std::function<std::unique_ptr<ResponseStream>()>;

}  // namespace kav::oss
