#include "cloud/FileResponseStream.h"

#include <climits>

namespace kav::oss {

std::unique_ptr<ResponseStream> FileResponseStream::Open(const std::string& path) {
    UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::unique_ptr<ResponseStream>(new FileResponseStream(std::move(file)));
}

bool FileResponseStream::Write(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > static_cast<std::size_t>(INT_MAX) ? static_cast<DWORD>(INT_MAX) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file_.Get(), p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        size -= written;
    }
    return true;
}

bool FileResponseStream::Truncate() {
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(file_.Get(), start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file_.Get());
}

}  // namespace kav::oss
