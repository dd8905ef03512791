#pragma once
// Where a downloaded body goes. The request's factory makes one stream per download, when the
// first body arrives; the attempts of that download share it: a resumed attempt appends to it,
// and one that must start the object over empties it first.
#include <cstddef>
#include <functional>
#include <memory>

namespace kav::oss {

class ResponseStream {
public:
    virtual ~ResponseStream() = default;
    // Appends the bytes; false when they could not all be written.
    virtual bool Write(const void* data, std::size_t size) = 0;
    // Empties the stream, so that the next write lands at its start; false when that failed.
    virtual bool Truncate() = 0;
};

using ResponseStreamFactory = std::function<std::unique_ptr<ResponseStream>()>;

}  // namespace kav::oss
