// Downloads that are cut part way, against the local bucket's fault injection: the next request
// asks for the rest (Range, If-Match), an answer that cannot continue the file starts it over, the
// file ends up as the object, and the progress bar does not move back for resumed bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BucketClientTest.h"
#include "BucketSupport.h"
#include "TestSupport.h"
#include "cloud/IClient.h"

namespace {

constexpr char kKey[] = "9.5KAvrindelIE/tests/resumed.bin";
constexpr char kNewVersionKey[] = "9.5KAvrindelIE/tests/resumed-v2.bin";
constexpr size_t kObjectBytes = 1024 * 1024 + 13;  // several blocks, the last one short

std::vector<kavtest::LoggedRequest> Gets() {
    std::vector<kavtest::LoggedRequest> gets;
    for (const auto& r : kavtest::RequestLog()) {
        if (r.method == "GET") gets.push_back(r);
    }
    return gets;
}

// Every ranged request must ask for the object from the first byte the file lacks: the bytes kept
// from the answers since the file last started over.
void ExpectRangesContinueTheFile(const std::vector<kavtest::LoggedRequest>& gets) {
    std::int64_t inFile = 0;
    for (size_t i = 0; i < gets.size(); ++i) {
        const auto& r = gets[i];
        if (!r.range.empty()) {
            EXPECT_EQ(r.range, "bytes=" + std::to_string(inFile) + "-") << "request " << i;
            EXPECT_EQ(r.ifMatch.size(), 34u) << "request " << i << " names no quoted ETag: " << r.ifMatch;
        } else {
            EXPECT_TRUE(r.ifMatch.empty()) << "request " << i;
        }
        if (r.status == 200) inFile = r.bytesSent;
        if (r.status == 206) inFile += r.bytesSent;
        if (r.status == 412) inFile = 0;
    }
}

void ExpectNeverFalls(const std::vector<int>& values) {
    for (size_t i = 1; i < values.size(); ++i) EXPECT_GE(values[i], values[i - 1]) << "progress value " << i;
}

struct ResumeCase {
    const char* name;
    std::vector<std::string> faults;  // for one GET each, in the bucket's order of faults; PART = 60 %
    std::vector<int> statuses;        // of the GETs, in order
    bool startsOver;                  // the file started again from byte 0 on the way
    bool changedObject;               // the object was replaced by its new version
};

class Resumes : public kavtest::BucketClientTest {
protected:
    std::vector<int> TakeProgress() {
        recorder_.Pump();
        std::vector<int> values = recorder_.Progress();
        recorder_.Clear();
        return values;
    }
};

class ResumedDownload : public Resumes, public testing::WithParamInterface<ResumeCase> {};

TEST_P(ResumedDownload, EndsWithTheObjectFetchingOnlyWhatWasMissing) {
    const ResumeCase& c = GetParam();
    const std::string original = kavtest::PseudoRandomBytes(kObjectBytes, 31);
    const std::string newVersion = kavtest::PseudoRandomBytes(kObjectBytes - 4000, 32);
    kavtest::PutObject(kKey, original);
    kavtest::PutObject(kNewVersionKey, newVersion);
    for (std::string fault : c.faults) {
        if (const size_t at = fault.find("PART"); at != std::string::npos) {
            fault.replace(at, 4, std::to_string(kObjectBytes * 6 / 10));
        }
        ASSERT_TRUE(kavtest::AddFault(kKey, fault, 1, "GET")) << fault;
    }
    client_.downloadsExpected = 5;

    const std::string local = staging_.Path() + "/resumed.bin";
    ASSERT_TRUE(client_.DownloadObject(kKey, local.c_str()));
    const std::string& expected = c.changedObject ? newVersion : original;
    EXPECT_TRUE(kavtest::ReadFileBytes(local) == expected) << "the file is not the object";
    EXPECT_TRUE(log_.Lines().empty());
    EXPECT_EQ(client_.downloadsDone, 1);

    const auto gets = Gets();
    std::vector<int> statuses;
    std::int64_t served = 0;
    for (const auto& r : gets) {
        statuses.push_back(r.status);
        served += r.bytesSent;
        EXPECT_TRUE(r.signatureOk);
    }
    EXPECT_EQ(statuses, c.statuses);
    ExpectRangesContinueTheFile(gets);

    const std::vector<int> progress = TakeProgress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 16);
    if (!c.startsOver) {
        EXPECT_EQ(served, static_cast<std::int64_t>(expected.size())) << "bytes were fetched twice";
        ExpectNeverFalls(progress);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, ResumedDownload,
    testing::Values(
        ResumeCase{"cutAt60Percent", {"\"truncate_after\": PART"}, {200, 206}, false, false},
        ResumeCase{"cutAfterOneByte", {"\"truncate_after\": 1"}, {200, 206}, false, false},
        ResumeCase{"cutAtABlockBoundary", {"\"truncate_after\": 262144"}, {200, 206}, false, false},
        // Nothing of the body arrived: there is nothing to resume, the next request asks for all.
        ResumeCase{"cutBeforeTheBody", {"\"truncate_after\": 0"}, {200, 200}, false, false},
        // The second cut falls in the resumed part, 1000 bytes after its start.
        ResumeCase{"cutTwice", {"\"truncate_after\": PART", "\"truncate_after\": 1000"}, {200, 206, 206}, false, false},
        // The object changes after the cut: If-Match fails, the file starts over with the new version.
        ResumeCase{"objectChanged",
                   {"\"truncate_after\": PART", std::string("\"replace_after\": \"") + kNewVersionKey + "\""},
                   {200, 412, 200},
                   true,
                   true},
        // A server that ignores the range sends the whole object again: it replaces the file.
        ResumeCase{"rangeIgnored", {"\"truncate_after\": PART", "\"ignore_range\": true"}, {200, 200}, true, false},
        // A damaged resumed part fails the whole file's CRC-64: the file starts over.
        ResumeCase{"damagedPart", {"\"truncate_after\": PART", "\"corrupt\": true"}, {200, 206, 200}, true, false}),
    [](const testing::TestParamInfo<ResumeCase>& info) { return std::string(info.param.name); });

TEST_F(Resumes, ATricklingServerEndsAtTheAttemptCap) {
    // Every answer ends after 1000 bytes: each attempt makes progress, none finishes.
    kavtest::PutObject(kKey, kavtest::PseudoRandomBytes(200 * 1024, 33));
    ASSERT_TRUE(kavtest::AddFault(kKey, "\"truncate_after\": 1000", -1, "GET"));
    UseClient(account_.endpoint, account_.keySecret, kavtest::FastConfiguration());
    client_.downloadsExpected = 5;

    EXPECT_FALSE(client_.DownloadObject(kKey, (staging_.Path() + "/resumed.bin").c_str()));
    const auto gets = Gets();
    ASSERT_EQ(gets.size(), 16u) << "the cap of attempts per object";
    for (size_t i = 0; i < gets.size(); ++i) EXPECT_EQ(gets[i].bytesSent, 1000) << "request " << i;
    ExpectRangesContinueTheFile(gets);
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Downfile Fail,code:IncompleteBody,message:", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - gets.back().requestId.size()), gets.back().requestId);
    EXPECT_EQ(client_.downloadsDone, 1);
    const std::vector<int> progress = TakeProgress();
    ExpectNeverFalls(progress);
}

}  // namespace
