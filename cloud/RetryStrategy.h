#pragma once
// When a failed request is tried again, and after how long: transport failures (no connection,
// time-outs, a body cut short, a body whose CRC-64 or SHA-256 does not match) and 5xx answers are
// retried up to maxRetries times, the n-th retry (n from 0) after scale * 2^n milliseconds. An
// answer of the service below 500 (404, 403, ...) is final, and so is a failure of the local file.
//
// A download is more patient: an attempt that added bytes to the file (the next one resumes where
// it ended) or found the file's bytes outdated (the next one starts over) is followed at once by
// the next, and one that added bytes gives the retry budget back, so that the budget counts only
// attempts in a row that got nothing. A cap on the attempts per object still ends a server that
// sends a little and drops, forever.
#include <cstdint>

namespace kav::oss {

enum class FailureKind {
    Transport,  // the connection failed, timed out or ended before the whole body arrived
    Integrity,  // the body arrived but its CRC-64 or SHA-256 differs from the one it must have
    Service,    // the service answered with an error status
    Local,      // the local stream could not be created or written, or the client is unusable
    Stale,      // the bytes already in the file belong to another version of the object (412, a
                // range that does not continue the file): the file starts over from byte 0
};

// What follows a failed download attempt.
struct NextAttempt {
    bool again = false;
    long delayMs = 0;
    int retriesSpent = 0;  // of the budget, after this decision
};

struct RetryStrategy {
    int maxRetries = 3;
    long scaleMs = 300;
    int maxDownloadAttempts = 16;

    // attempted: the number of retries made so far.
    bool ShouldRetry(FailureKind kind, int httpStatus, int attempted) const;
    long DelayMs(int attempted) const;

    // progressed: the attempt added bytes to the file before it failed. retriesSpent: of the budget
    // so far; attemptsMade: requests sent for this object, the failed one included.
    NextAttempt AfterFailedDownload(FailureKind kind, int httpStatus, bool progressed, int retriesSpent,
                                    int attemptsMade) const;
};

}  // namespace kav::oss
