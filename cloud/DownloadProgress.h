#pragma once
// The overall percentage of the install while a download runs: the downloads share 80 percent of
// the bar in equal slices, download k (k = downloads done before it) running from
// 80k / expected to 80(k+1) / expected.
#include <cstdint>

namespace kav {

constexpr double kDownloadShare = 0.8;
constexpr double kPercentScale = 100.0;

// Whether a percentage can be computed at all: the body's length is known and positive, and
// the number of expected downloads is positive.
bool HasDownloadProgress(std::int64_t total, std::int32_t downloadsExpected);

// ((T / N + done) * (0.8 / expected)) * 100, in double precision in this order, truncated
// toward zero. Call only when HasDownloadProgress holds.
std::int32_t DownloadProgressPercent(std::int64_t transferred, std::int64_t total, std::int32_t downloadsDone,
                                     std::int32_t downloadsExpected);

}  // namespace kav
