#include "cloud/BackgroundSha256.h"

namespace kav::oss {

BackgroundSha256::BackgroundSha256() : thread_([this] { Run(); }) {}

BackgroundSha256::~BackgroundSha256() {
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return !pending_; });
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundSha256::Run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return pending_ || stop_; });
        if (stop_) return;
        const void* data = data_;
        const std::size_t size = size_;
        guard.unlock();
        hash_.Update(data, size);  // a failure stays in hash_ and shows in Matches
        guard.lock();
        pending_ = false;
        changed_.notify_all();
    }
}

void BackgroundSha256::Begin(const void* data, std::size_t size) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        data_ = data;
        size_ = size;
        pending_ = true;
    }
    changed_.notify_all();
}

void BackgroundSha256::Wait() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return !pending_; });
}

bool BackgroundSha256::Matches(const Sha256Digest& expected) {
    Wait();
    return hash_.Matches(expected);
}

}  // namespace kav::oss
