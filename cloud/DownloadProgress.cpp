#include "cloud/DownloadProgress.h"

namespace kav {

bool HasDownloadProgress(std::int64_t total, std::int32_t downloadsExpected) {
    return total > 0 && downloadsExpected > 0;
}

std::int32_t DownloadProgressPercent(std::int64_t transferred, std::int64_t total, std::int32_t downloadsDone,
                                     std::int32_t downloadsExpected) {
    double q = static_cast<double>(transferred) / static_cast<double>(total);
    q = q + downloadsDone;
    q = q * (kDownloadShare / downloadsExpected);
    q = q * kPercentScale;
    return static_cast<std::int32_t>(q);
}

}  // namespace kav
