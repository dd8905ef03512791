#pragma once
// Receives a response body on a helper thread, in blocks of at least 64 KiB, while the calling
// thread checks and writes the blocks before it: under a slow HTTP layer the receiving and the
// checksum and file writes then overlap instead of adding up. A few blocks are in flight at most,
// so memory stays bounded whatever the body's size.
#include <windows.h>
#include <winhttp.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "cloud/WinHttpApi.h"

namespace kav::oss {

class BodyReceiver {
public:
    static constexpr DWORD kBlockBytes = 256 * 1024;
    static constexpr int kBlocksInFlight = 4;

    struct Block {
        const char* data = nullptr;
        DWORD size = 0;
    };

    // contentLength: the body's length, or -1 when unknown (then the body ends with the connection).
    BodyReceiver(const WinHttpApi& api, HINTERNET request, std::int64_t contentLength);
    // Stops the helper after the read in progress and waits for it.
    ~BodyReceiver();
    BodyReceiver(const BodyReceiver&) = delete;
    BodyReceiver& operator=(const BodyReceiver&) = delete;

    // The next block, in order; false when the body has ended (see Error). Each block must be
    // given back with Release before the next call.
    bool Next(Block& block);
    void Release();

    // 0 when the body ended cleanly, else the error of the read that failed.
    DWORD Error() const;

private:
    void Run();

    const WinHttpApi& api_;
    HINTERNET request_;
    std::int64_t contentLength_;
    std::vector<std::vector<char>> blocks_;
    std::vector<DWORD> sizes_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::uint64_t produced_ = 0;  // blocks filled by the helper
    std::uint64_t consumed_ = 0;  // blocks given back by the caller
    bool ended_ = false;
    bool stop_ = false;
    DWORD error_ = 0;
    std::thread thread_;
};

}  // namespace kav::oss
