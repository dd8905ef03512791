#include "archive/ExtractionProgress.h"

namespace kav {

namespace {
constexpr double kExtractionShare = 10.0;
}

int AdvanceExtractionProgress(int oldPercent, int downloadsExpected) {
    if (downloadsExpected <= 0) return oldPercent;
    return static_cast<int>(kExtractionShare / downloadsExpected + oldPercent);
}

}  // namespace kav
