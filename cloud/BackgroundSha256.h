#pragma once
// A SHA-256 that hashes each block of a download on a helper thread while the caller checks and
// writes the same block, so the hash (the slowest step of a download wherever CNG's SHA-256 is slower
// than the line) overlaps the CRC-64 and the file write instead of adding to them. One block at a
// time: the caller hands it over with Begin and calls Wait before it reuses or gives back that
// block's memory.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "cloud/Sha256.h"

namespace kav::oss {

class BackgroundSha256 {
public:
    BackgroundSha256();
    // Waits for the block in progress, then ends the helper.
    ~BackgroundSha256();
    BackgroundSha256(const BackgroundSha256&) = delete;
    BackgroundSha256& operator=(const BackgroundSha256&) = delete;

    // Starts hashing the block; returns at once. The previous block must have been waited for.
    void Begin(const void* data, std::size_t size);
    // Returns when the block given to Begin is hashed.
    void Wait();
    // The digest of all blocks compared with the expected one; false when it differs or CNG failed.
    // After the last Wait; once.
    bool Matches(const Sha256Digest& expected);

private:
    void Run();

    Sha256 hash_;
    std::mutex lock_;
    std::condition_variable changed_;
    const void* data_ = nullptr;
    std::size_t size_ = 0;
    bool pending_ = false;  // a block is handed over and not hashed yet
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace kav::oss
