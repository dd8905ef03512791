#include <gtest/gtest.h>

#include <cstdint>

#include "cloud/DownloadProgress.h"

namespace {

struct ProgressCase {
    std::int64_t transferred;
    std::int64_t total;
    std::int32_t done;
    std::int32_t expected;
    std::int32_t percent;
};

class ProgressValues : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressValues, ShareEightyPercentInEqualSlices) {
    const ProgressCase& c = GetParam();
    ASSERT_TRUE(kav::HasDownloadProgress(c.total, c.expected));
    EXPECT_EQ(kav::DownloadProgressPercent(c.transferred, c.total, c.done, c.expected), c.percent);
}

INSTANTIATE_TEST_SUITE_P(
    Slices, ProgressValues,
    testing::Values(ProgressCase{0, 100, 0, 5, 0}, ProgressCase{100, 100, 0, 5, 16}, ProgressCase{50, 100, 1, 5, 24},
                    ProgressCase{50, 100, 1, 6, 20}, ProgressCase{100, 100, 1, 5, 32},
                    ProgressCase{100, 100, 2, 5, 48}, ProgressCase{100, 100, 3, 5, 64},
                    // Six downloads: 80/6 per slice, truncated toward zero.
                    ProgressCase{1, 1000000, 1, 6, 13}, ProgressCase{100, 100, 1, 6, 26},
                    ProgressCase{100, 100, 2, 6, 40}, ProgressCase{100, 100, 3, 6, 53},
                    ProgressCase{100, 100, 4, 6, 66},
                    // Sizes beyond 32 bits stay exact enough.
                    ProgressCase{3LL << 32, 6LL << 32, 0, 5, 8}));

TEST(ProgressValues, NothingToComputeWithoutLengthOrDownloads) {
    EXPECT_FALSE(kav::HasDownloadProgress(0, 5));
    EXPECT_FALSE(kav::HasDownloadProgress(-1, 5));
    EXPECT_FALSE(kav::HasDownloadProgress(100, 0));
    EXPECT_TRUE(kav::HasDownloadProgress(1, 5));
}

}  // namespace
