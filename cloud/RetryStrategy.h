#pragma once
// When a failed request is tried again, and after how long: transport failures (no connection,
// time-outs, a body cut short, a body whose CRC-64 or SHA-256 does not match) and 5xx answers are
// retried up to maxRetries times, the n-th retry (n from 0) after scale * 2^n milliseconds. An
// answer of the service below 500 (404, 403, ...) is final, and so is a failure of the local file.
#include <cstdint>

namespace kav::oss {

enum class FailureKind {
    Transport,  // the connection failed, timed out or ended before the whole body arrived
    Integrity,  // the body arrived but its CRC-64 or SHA-256 differs from the one it must have
    Service,    // the service answered with an error status
    Local,      // the local stream could not be created or written, or the client is unusable
};

struct RetryStrategy {
    int maxRetries = 3;
    long scaleMs = 300;

    // attempted: the number of retries made so far.
    bool ShouldRetry(FailureKind kind, int httpStatus, int attempted) const;
    long DelayMs(int attempted) const;
};

}  // namespace kav::oss
