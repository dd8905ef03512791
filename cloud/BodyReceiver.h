#pragma once
// Receives a response body in blocks of 256 KiB on the calling thread: each block is filled by as
// many reads as it takes, then checked and written by the caller before the next read. One block
// of memory whatever the body's size. A helper thread that received ahead was tried: on a busy
// machine its two wake-ups per block cost more than the overlap won.
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <vector>

#include "cloud/WinHttpApi.h"

namespace kav::oss {

class BodyReceiver {
public:
    static constexpr DWORD kBlockBytes = 256 * 1024;

    struct Block {
        const char* data = nullptr;
        DWORD size = 0;
    };

    // contentLength: the body's length, or -1 when unknown (then the body ends with the connection).
    BodyReceiver(const WinHttpApi& api, HINTERNET request, std::int64_t contentLength);
    BodyReceiver(const BodyReceiver&) = delete;
    BodyReceiver& operator=(const BodyReceiver&) = delete;

    // The next block, in order; false when the body has ended (see Error). Each block must be
    // given back with Release before the next call.
    bool Next(Block& block);
    void Release() {}

    // 0 when the body ended cleanly, else the error of the read that failed.
    DWORD Error() const { return error_; }

private:
    const WinHttpApi& api_;
    HINTERNET request_;
    std::int64_t contentLength_;
    std::int64_t received_ = 0;
    std::vector<char> block_;
    bool ended_ = false;
    DWORD error_ = 0;
};

}  // namespace kav::oss
