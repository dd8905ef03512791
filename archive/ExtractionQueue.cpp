#include "archive/ExtractionQueue.h"

namespace kav {

ExtractionQueue::ExtractionQueue(size_t slots, size_t dataBytes) : ring(slots) {
    for (ExtractionRecord& record : ring) record.data.resize(dataBytes);
}

namespace {

// A side that waits is woken once half the ring is ready for it (or the walk is over), not for
// every record: each wake-up is a system call, and under Wine a trip to the Wine server.
bool EndsTheWalk(const ExtractionRecord& record) {
    return record.kind == ExtractionRecord::Kind::Finished || record.kind == ExtractionRecord::Kind::Refused;
}

}  // namespace

ExtractionRecord* ExtractionQueue::Claim() {
    std::unique_lock<std::mutex> guard(lock);
    while (!stopped && publishedCount - releasedCount == ring.size()) {
        producerWaiting = true;
        released.wait(guard);
        producerWaiting = false;
    }
    if (stopped) return nullptr;
    return &ring[publishedCount % ring.size()];
}

void ExtractionQueue::Publish() {
    std::lock_guard<std::mutex> guard(lock);
    const bool last = EndsTheWalk(ring[publishedCount % ring.size()]);
    ++publishedCount;
    if (consumerWaiting && (last || publishedCount - releasedCount >= ring.size() / 2)) published.notify_one();
}

ExtractionRecord& ExtractionQueue::Next() {
    std::unique_lock<std::mutex> guard(lock);
    while (publishedCount == releasedCount) {
        consumerWaiting = true;
        published.wait(guard);
        consumerWaiting = false;
    }
    return ring[releasedCount % ring.size()];
}

void ExtractionQueue::Release() {
    std::lock_guard<std::mutex> guard(lock);
    ++releasedCount;
    if (producerWaiting && ring.size() - (publishedCount - releasedCount) >= ring.size() / 2) released.notify_one();
}

void ExtractionQueue::Stop() {
    std::lock_guard<std::mutex> guard(lock);
    stopped = true;
    released.notify_one();
}

}  // namespace kav
