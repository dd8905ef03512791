#pragma once
// A bounded ring of extraction records between one producer thread (reading and inflating the
// archive) and one consumer thread (writing to disk). The records and their data buffers are made
// once, so memory stays at the ring's size however large the archive is.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "archive/ExtractionRecord.h"

namespace kav {

class ExtractionQueue {
public:
    // slots records, each FileData buffer dataBytes long.
    ExtractionQueue(size_t slots, size_t dataBytes);
    ExtractionQueue(const ExtractionQueue&) = delete;
    ExtractionQueue& operator=(const ExtractionQueue&) = delete;

    // Producer: the next free record to fill, waiting while the ring is full; null once the
    // consumer has stopped the queue. The record belongs to the producer until Publish.
    ExtractionRecord* Claim();
    // Producer: hands the claimed record to the consumer.
    void Publish();

    // Consumer: the oldest published record, waiting until there is one. It belongs to the
    // consumer until Release.
    ExtractionRecord& Next();
    // Consumer: gives the record back to the producer.
    void Release();
    // Consumer: wants no more records; a waiting or later Claim returns null.
    void Stop();

private:
    std::vector<ExtractionRecord> ring;
    std::mutex lock;
    std::condition_variable published;  // signalled when the consumer waits for a record
    std::condition_variable released;   // signalled when the producer waits for a free record
    std::uint64_t publishedCount = 0;   // records handed to the consumer so far
    std::uint64_t releasedCount = 0;    // records given back so far
    bool stopped = false;
    bool consumerWaiting = false;
    bool producerWaiting = false;
};

}  // namespace kav
