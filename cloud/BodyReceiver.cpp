#include "cloud/BodyReceiver.h"

namespace kav::oss {

BodyReceiver::BodyReceiver(const WinHttpApi& api, HINTERNET request, std::int64_t contentLength)
    : api_(api), request_(request), contentLength_(contentLength), blocks_(kBlocksInFlight), sizes_(kBlocksInFlight, 0) {
    for (auto& block : blocks_) block.resize(kBlockBytes);
    thread_ = std::thread([this] { Run(); });
}

BodyReceiver::~BodyReceiver() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BodyReceiver::Run() {
    std::int64_t received = 0;
    for (;;) {
        size_t slot = 0;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [this] { return stop_ || produced_ - consumed_ < kBlocksInFlight; });
            if (stop_) return;
            slot = static_cast<size_t>(produced_ % kBlocksInFlight);
        }
        char* data = blocks_[slot].data();
        DWORD filled = 0;
        bool end = false;
        DWORD error = 0;
        while (filled < kBlockBytes) {
            if (contentLength_ >= 0 && received + filled >= contentLength_) {
                end = true;
                break;
            }
            DWORD got = 0;
            if (!api_.ReadData(request_, data + filled, kBlockBytes - filled, &got)) {
                error = ::GetLastError();
                end = true;
                break;
            }
            if (got == 0) {
                end = true;
                break;
            }
            filled += got;
        }
        received += filled;
        {
            std::lock_guard<std::mutex> guard(lock_);
            // The bytes read before a failed read are good: they are handed over too, so that a
            // resumed download continues right after them.
            if (filled > 0) {
                sizes_[slot] = filled;
                ++produced_;
            }
            if (end) {
                ended_ = true;
                error_ = error;
            }
        }
        changed_.notify_all();
        if (end) return;
    }
}

bool BodyReceiver::Next(Block& block) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return produced_ > consumed_ || ended_; });
    if (produced_ == consumed_) return false;
    const size_t slot = static_cast<size_t>(consumed_ % kBlocksInFlight);
    block.data = blocks_[slot].data();
    block.size = sizes_[slot];
    return true;
}

void BodyReceiver::Release() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++consumed_;
    }
    changed_.notify_all();
}

DWORD BodyReceiver::Error() const {
    std::lock_guard<std::mutex> guard(lock_);
    return error_;
}

}  // namespace kav::oss
