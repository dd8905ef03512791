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

}  // namespace kav::oss
