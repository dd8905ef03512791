#pragma once
// A response stream on a local file: opened for reading and writing, created or truncated, shared
// with other processes for reading and writing. The file is closed when the stream is destroyed.
#include <memory>
#include <string>

#include "cloud/ResponseStream.h"
#include "system/Handles.h"

namespace kav::oss {

class FileResponseStream : public ResponseStream {
public:
    // Null when the file cannot be opened. The path is narrow text in the ANSI code page.
    static std::unique_ptr<ResponseStream> Open(const std::string& path);

    bool Write(const void* data, std::size_t size) override;
    bool Truncate() override;

private:
    explicit FileResponseStream(UniqueHandle file) : file_(std::move(file)) {}
    UniqueHandle file_;
};

}  // namespace kav::oss
