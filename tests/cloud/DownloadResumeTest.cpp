#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cloud/DownloadResume.h"

namespace {

using kav::oss::AnswerPlacement;
using kav::oss::ResumePoint;

constexpr char kEtag[] = "\"5EB63BBBE01EEED093CB22BB8F5ACDC3\"";

TEST(ResumeHeaders, AskForTheRestOfTheSameObjectOnly) {
    EXPECT_EQ(kav::oss::ResumeHeaders({600, 1000, kEtag}),
              std::string("Range: bytes=600-\r\nIf-Match: ") + kEtag + "\r\n");
    EXPECT_EQ(kav::oss::ResumeHeaders({1, 5000000000LL, kEtag}),
              std::string("Range: bytes=1-\r\nIf-Match: ") + kEtag + "\r\n");
    // Nothing in the file, all of it, more than the object, no length or no ETag: ask for all.
    for (const ResumePoint& point : {ResumePoint{0, 1000, kEtag}, ResumePoint{1000, 1000, kEtag},
                                     ResumePoint{1200, 1000, kEtag}, ResumePoint{600, -1, kEtag},
                                     ResumePoint{600, 1000, ""}}) {
        EXPECT_FALSE(kav::oss::CanResume(point)) << point.received << "/" << point.total << " " << point.etag;
        EXPECT_EQ(kav::oss::ResumeHeaders(point), "");
    }
}

TEST(ContentRange, ReadsOnlyACompleteByteRange) {
    kav::oss::ContentRange range;
    ASSERT_TRUE(kav::oss::ParseContentRange("bytes 600-999/1000", range));
    EXPECT_EQ(range.first, 600);
    EXPECT_EQ(range.last, 999);
    EXPECT_EQ(range.total, 1000);
    ASSERT_TRUE(kav::oss::ParseContentRange("bytes 4294967296-8589934591/8589934592", range));
    EXPECT_EQ(range.first, 4294967296LL);
    for (const char* bad : {"", "bytes 600-999/*", "bytes */1000", "bytes 600-999", "items 600-999/1000",
                            "bytes 999-600/1000", "bytes 600-1000/1000", "bytes -5-999/1000", "bytes 600-999/1000 ",
                            "bytes 600-999/99999999999999999999", "bytes=600-999/1000"}) {
        EXPECT_FALSE(kav::oss::ParseContentRange(bad, range)) << bad;
    }
}

struct PlacementCase {
    const char* name;
    std::int64_t received;
    bool resumed;
    int status;
    std::string contentRange;
    std::int64_t contentLength;
    AnswerPlacement placement;
};

class AnswerPlacements : public testing::TestWithParam<PlacementCase> {};

TEST_P(AnswerPlacements, AppendOnlyWhatContinuesTheFile) {
    const PlacementCase& c = GetParam();
    const ResumePoint point{c.received, 1000, kEtag};
    EXPECT_EQ(kav::oss::PlaceAnswer(point, c.resumed, c.status, c.contentRange, c.contentLength), c.placement);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerPlacements,
    testing::Values(
        PlacementCase{"firstAnswer", 0, false, 200, "", 1000, AnswerPlacement::StartOver},
        PlacementCase{"continues", 600, true, 206, "bytes 600-999/1000", 400, AnswerPlacement::Append},
        PlacementCase{"continuesWithoutLength", 600, true, 206, "bytes 600-999/1000", -1, AnswerPlacement::Append},
        PlacementCase{"rangeIgnored", 600, true, 200, "", 1000, AnswerPlacement::StartOver},
        PlacementCase{"objectChanged", 600, true, 412, "", 200, AnswerPlacement::StartOverNext},
        PlacementCase{"objectShrank", 600, true, 416, "", 200, AnswerPlacement::StartOverNext},
        PlacementCase{"otherOffset", 600, true, 206, "bytes 500-999/1000", 500, AnswerPlacement::StartOverNext},
        PlacementCase{"otherTotal", 600, true, 206, "bytes 600-1199/1200", 600, AnswerPlacement::StartOverNext},
        PlacementCase{"shortOfTheEnd", 600, true, 206, "bytes 600-899/1000", 300, AnswerPlacement::StartOverNext},
        PlacementCase{"lengthDisagrees", 600, true, 206, "bytes 600-999/1000", 500, AnswerPlacement::StartOverNext},
        PlacementCase{"noContentRange", 600, true, 206, "", 400, AnswerPlacement::StartOverNext},
        PlacementCase{"unknownTotal", 600, true, 206, "bytes 600-999/*", 400, AnswerPlacement::StartOverNext},
        PlacementCase{"wholeObjectAsAPart", 600, true, 206, "bytes 0-999/1000", 1000, AnswerPlacement::StartOver},
        PlacementCase{"partNotAskedFor", 0, false, 206, "bytes 600-999/1000", 400, AnswerPlacement::StartOverNext},
        PlacementCase{"otherSuccessResumed", 600, true, 204, "", 0, AnswerPlacement::StartOverNext},
        PlacementCase{"notFound", 600, true, 404, "", 200, AnswerPlacement::NotABody},
        PlacementCase{"serverError", 600, true, 503, "", 200, AnswerPlacement::NotABody},
        // Without a resumed request, 412 and 416 are plain errors.
        PlacementCase{"preconditionNotAsked", 0, false, 412, "", 200, AnswerPlacement::NotABody},
        PlacementCase{"rangeNotAsked", 0, false, 416, "", 200, AnswerPlacement::NotABody}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

}  // namespace
