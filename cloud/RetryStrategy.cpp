#include "cloud/RetryStrategy.h"

namespace kav::oss {

namespace {
constexpr int kFirstServerErrorStatus = 500;
constexpr int kLastServerErrorStatus = 599;
constexpr int kLargestShift = 20;  // keeps the delay finite for any retry count
}  // namespace

bool RetryStrategy::ShouldRetry(FailureKind kind, int httpStatus, int attempted) const {
    if (attempted >= maxRetries) return false;
    switch (kind) {
        case FailureKind::Transport:
        case FailureKind::Integrity:
        case FailureKind::Stale:
            return true;
        case FailureKind::Service:
            return httpStatus >= kFirstServerErrorStatus && httpStatus <= kLastServerErrorStatus;
        case FailureKind::Local:
            return false;
    }
    return false;
}

long RetryStrategy::DelayMs(int attempted) const {
    if (attempted < 0) attempted = 0;
    if (attempted > kLargestShift) attempted = kLargestShift;
    return scaleMs * (1L << attempted);
}

NextAttempt RetryStrategy::AfterFailedDownload(FailureKind kind, int httpStatus, bool progressed, int retriesSpent,
                                               int attemptsMade) const {
    NextAttempt next;
    next.retriesSpent = retriesSpent;
    if (attemptsMade >= maxDownloadAttempts) return next;
    if (kind == FailureKind::Stale || (kind == FailureKind::Transport && progressed)) {
        // The next request differs from this one (it resumes further on, or asks for everything).
        next.again = true;
        if (progressed) next.retriesSpent = 0;
        return next;
    }
    if (!ShouldRetry(kind, httpStatus, retriesSpent)) return next;
    next.again = true;
    next.delayMs = DelayMs(retriesSpent);
    next.retriesSpent = retriesSpent + 1;
    return next;
}

}  // namespace kav::oss
