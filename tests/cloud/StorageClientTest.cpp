// The storage client against the local bucket: signed requests, whole bodies, retries, time-outs
// and the outcomes of failures.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "BucketSupport.h"
#include "TestSupport.h"
#include "cloud/FileResponseStream.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "cloud/Sha256.h"

namespace {

using kav::oss::ClientConfiguration;
using kav::oss::GetObjectOutcome;
using kav::oss::GetObjectRequest;
using kav::oss::OssClient;

struct ProgressCall {
    size_t increment;
    std::int64_t transferred;
    std::int64_t total;
};

void RecordProgress(size_t increment, std::int64_t transferred, std::int64_t total, void* userData) {
    static_cast<std::vector<ProgressCall>*>(userData)->push_back({increment, transferred, total});
}

std::vector<kavtest::LoggedRequest> Gets(const std::vector<kavtest::LoggedRequest>& log) {
    std::vector<kavtest::LoggedRequest> gets;
    for (const auto& r : log) {
        if (r.method == "GET") gets.push_back(r);
    }
    return gets;
}

double SecondsSince(ULONGLONG startTicks) { return (::GetTickCount64() - startTicks) / 1000.0; }

class StorageClient : public testing::Test {
protected:
    static void SetUpTestSuite() { kav::oss::InitializeSdk(); }
    static void TearDownTestSuite() { kav::oss::ShutdownSdk(); }

    void SetUp() override {
        account_ = kavtest::CurrentBucket();
        ASSERT_FALSE(account_.endpoint.empty()) << "run through the bucket runner";
        ASSERT_TRUE(kavtest::ResetBucket());
        ASSERT_TRUE(kavtest::SetLineRate(0));
    }

    std::unique_ptr<OssClient> Client(const ClientConfiguration& configuration = ClientConfiguration(),
                                      const std::string& secret = "") const {
        return std::make_unique<OssClient>(account_.endpoint, account_.keyId,
                                           secret.empty() ? account_.keySecret : secret, configuration);
    }

    GetObjectOutcome Download(const OssClient& client, const std::string& key, const std::string& path,
                              const kav::oss::Sha256Digest* expectedSha256 = nullptr) {
        GetObjectRequest request(account_.bucket, key);
        request.setResponseStreamFactory([path] { return kav::oss::FileResponseStream::Open(path); });
        request.setTransferProgress({&RecordProgress, &progress_});
        if (expectedSha256 != nullptr) request.setExpectedSha256(*expectedSha256);
        return client.GetObject(request);
    }

    kavtest::BucketAccount account_;
    kavtest::TempFolder folder_{"kavoss"};
    std::vector<ProgressCall> progress_;
};

TEST_F(StorageClient, DownloadsTheWholeBodyInBlocksWithSignedRequests) {
    // Not a multiple of any block size, so the last block is short.
    const std::string key = "tests/whole.bin";
    const std::string body = kavtest::PseudoRandomBytes(3 * 1024 * 1024 + 17, 1);
    kavtest::PutObject(key, body);
    const auto client = Client();
    ASSERT_TRUE(client->DoesObjectExist(account_.bucket, key));

    const std::string path = folder_ / "whole.bin";
    GetObjectOutcome outcome = Download(*client, key, path);
    ASSERT_TRUE(outcome.success) << outcome.error.code << " " << outcome.error.message;
    outcome.content.reset();
    EXPECT_EQ(outcome.attempts, 1);
    EXPECT_EQ(outcome.contentLength, static_cast<std::int64_t>(body.size()));
    EXPECT_TRUE(kavtest::ReadFileBytes(path) == body) << "the file differs from the object";

    ASSERT_FALSE(progress_.empty());
    std::int64_t sum = 0;
    for (size_t i = 0; i < progress_.size(); ++i) {
        sum += static_cast<std::int64_t>(progress_[i].increment);
        EXPECT_EQ(progress_[i].transferred, sum);
        EXPECT_EQ(progress_[i].total, static_cast<std::int64_t>(body.size()));
        if (i + 1 < progress_.size()) {
            EXPECT_GE(progress_[i].increment, 64u * 1024u) << "block " << i;
        }
    }
    EXPECT_EQ(sum, static_cast<std::int64_t>(body.size()));

    const auto log = kavtest::RequestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].method, "HEAD");
    EXPECT_EQ(log[0].query, "objectMeta");
    EXPECT_EQ(log[0].rawKey, key);
    EXPECT_EQ(log[0].status, 200);
    EXPECT_EQ(log[1].method, "GET");
    EXPECT_EQ(log[1].status, 200);
    for (const auto& r : log) {
        EXPECT_TRUE(r.signatureOk) << r.method << " was refused by the signature check";
        EXPECT_EQ(r.userAgent, "Kavrindel-Installer/9.5.9.1 (Windows)");
    }
}

TEST_F(StorageClient, SendsAGbkKeyAsItsBytes) {
    // The source is compiled to GBK; the bucket must see exactly these bytes, and accept the
    // signature computed over them.
    const std::string key = "9.5KAvrindelIE/fix/安装 包+1.zip";
    const auto client = Client();
    EXPECT_FALSE(client->DoesObjectExist(account_.bucket, key));
    const auto log = kavtest::RequestLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rawKey, "9.5KAvrindelIE/fix/\xB0\xB2\xD7\xB0 \xB0\xFC+1.zip");
    EXPECT_TRUE(log[0].signatureOk);
    EXPECT_EQ(log[0].status, 404);
}

TEST_F(StorageClient, AMissingObjectOrAWrongKeyIsAFinalAnswer) {
    const std::string key = "tests/absent.bin";
    const auto client = Client();
    const kav::oss::ObjectMetaOutcome missing = client->GetObjectMeta(account_.bucket, key);
    EXPECT_FALSE(missing.success);
    EXPECT_EQ(missing.error.httpStatus, 404);

    kavtest::PutObject("tests/present.bin", "abc");
    const auto wrong = Client(ClientConfiguration(), "NotTheSecretOfThisBucket00000");
    EXPECT_FALSE(wrong->DoesObjectExist(account_.bucket, "tests/present.bin"));
    const GetObjectOutcome refused = Download(*wrong, "tests/present.bin", folder_ / "present.bin");
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.error.httpStatus, 403);
    EXPECT_EQ(refused.error.code, "SignatureDoesNotMatch");
    EXPECT_FALSE(refused.error.message.empty());
    EXPECT_EQ(refused.attempts, 1) << "a 4xx answer must not be retried";
    EXPECT_FALSE(kavtest::PathExists(folder_ / "present.bin")) << "no file for a refused download";

    const auto log = kavtest::RequestLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].status, 404);
    EXPECT_FALSE(log[1].signatureOk);
    EXPECT_EQ(log[1].status, 403);
    EXPECT_EQ(refused.error.requestId, log[2].requestId);
}

struct FaultCase {
    const char* name;
    std::string settings;  // with HALF for half the body's size
    int count;
    bool succeeds;
    int gets;
    std::string code;  // expected error code; empty: any
};

class StorageFaults : public StorageClient, public testing::WithParamInterface<FaultCase> {};

TEST_P(StorageFaults, RetriesWhatCanHealAndReportsTheRest) {
    const FaultCase& c = GetParam();
    const std::string key = std::string("tests/fault-") + c.name + ".bin";
    const std::string body = kavtest::PseudoRandomBytes(600 * 1024, 7);
    kavtest::PutObject(key, body);
    std::string settings = c.settings;
    if (const size_t at = settings.find("HALF"); at != std::string::npos) {
        settings.replace(at, 4, std::to_string(body.size() / 2));
    }
    ASSERT_TRUE(kavtest::AddFault(key, settings, c.count, "GET"));

    const auto client = Client(kavtest::FastConfiguration());
    const std::string path = folder_ / "fault.bin";
    GetObjectOutcome outcome = Download(*client, key, path);
    outcome.content.reset();
    EXPECT_EQ(outcome.success, c.succeeds) << outcome.error.code << " " << outcome.error.message;
    const auto gets = Gets(kavtest::RequestLog());
    EXPECT_EQ(static_cast<int>(gets.size()), c.gets);
    EXPECT_EQ(outcome.attempts, c.gets);
    if (c.succeeds) {
        EXPECT_TRUE(kavtest::ReadFileBytes(path) == body) << "a retried download must start a fresh file";
    } else {
        if (!c.code.empty()) {
            EXPECT_EQ(outcome.error.code, c.code);
        }
        EXPECT_FALSE(outcome.error.code.empty());
        EXPECT_FALSE(outcome.error.message.empty());
        ASSERT_FALSE(gets.empty());
        EXPECT_EQ(outcome.error.requestId, gets.back().requestId);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StorageFaults,
    testing::Values(
        FaultCase{"two503", "\"status\": 503", 2, true, 3, ""},
        FaultCase{"always500",
                  "\"status\": 500, \"code\": \"InternalError\", \"message\": \"We encountered an internal error.\"", -1,
                  false, 4, "InternalError"},
        FaultCase{"cutOnce", "\"truncate_after\": HALF", 1, true, 2, ""},
        FaultCase{"cutAlways", "\"truncate_after\": HALF", -1, false, 4, ""},
        FaultCase{"corruptOnce", "\"corrupt\": true", 1, true, 2, ""},
        FaultCase{"corruptAlways", "\"corrupt\": true", -1, false, 4, "CrcCheckError"},
        FaultCase{"stallAlways", "\"stall_after\": HALF", -1, false, 4, "ERROR_WINHTTP_TIMEOUT"},
        // A slow first answer within the wait is no failure.
        FaultCase{"slowHeaders", "\"delay_ms\": 500", 1, true, 1, ""}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

struct DigestCase {
    const char* name;
    bool flipBit;         // expect a digest one bit away from the body's
    std::string fault;    // a fault on the first GET; empty for none
    bool succeeds;
    int gets;
    std::string code;     // expected error code when it fails
};

class StorageDigests : public StorageClient, public testing::WithParamInterface<DigestCase> {};

// The body is hashed beside the CRC-64 while it streams in; another digest fails the attempt as a
// damaged transfer would, and is retried.
TEST_P(StorageDigests, TheBodyMustHaveTheExpectedSha256) {
    const DigestCase& c = GetParam();
    const std::string key = std::string("tests/digest-") + c.name + ".bin";
    const std::string body = kavtest::PseudoRandomBytes(700 * 1024 + 3, 9);
    kavtest::PutObject(key, body);
    kav::oss::Sha256Digest expected{};
    ASSERT_TRUE(kav::oss::ComputeSha256(body, expected));
    if (c.flipBit) expected[31] ^= 1;
    if (!c.fault.empty()) {
        ASSERT_TRUE(kavtest::AddFault(key, c.fault, 1, "GET"));
    }

    const auto client = Client(kavtest::FastConfiguration());
    const std::string path = folder_ / "digest.bin";
    GetObjectOutcome outcome = Download(*client, key, path, &expected);
    outcome.content.reset();
    EXPECT_EQ(outcome.success, c.succeeds) << outcome.error.code << " " << outcome.error.message;
    EXPECT_EQ(outcome.attempts, c.gets);
    EXPECT_EQ(static_cast<int>(Gets(kavtest::RequestLog()).size()), c.gets);
    if (c.succeeds) {
        EXPECT_TRUE(kavtest::ReadFileBytes(path) == body);
    } else {
        EXPECT_EQ(outcome.error.code, c.code);
        EXPECT_FALSE(outcome.error.message.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Digests, StorageDigests,
    testing::Values(DigestCase{"match", false, "", true, 1, ""},
                    DigestCase{"oneBitOff", true, "", false, 4, "Sha256CheckError"},
                    // A damaged first body is caught by the CRC-64; the retry's body matches.
                    DigestCase{"corruptOnce", false, "\"corrupt\": true", true, 2, ""},
                    DigestCase{"cutOnce", false, "\"truncate_after\": 1000", true, 2, ""}),
    [](const testing::TestParamInfo<DigestCase>& info) { return std::string(info.param.name); });

TEST_F(StorageClient, ATransferLongerThanTheRequestTimeOutCompletes) {
    // 600 KiB at 200 KB/s takes about three seconds; every single wait is far below the 1 s limit.
    const std::string key = "tests/slow.bin";
    const std::string body = kavtest::PseudoRandomBytes(600 * 1024, 3);
    kavtest::PutObject(key, body);
    ASSERT_TRUE(kavtest::SetLineRate(200 * 1000));
    const auto client = Client(kavtest::FastConfiguration(1000));
    const ULONGLONG start = ::GetTickCount64();
    GetObjectOutcome outcome = Download(*client, key, folder_ / "slow.bin");
    const double seconds = SecondsSince(start);
    kavtest::SetLineRate(0);
    outcome.content.reset();
    ASSERT_TRUE(outcome.success) << outcome.error.code << " " << outcome.error.message;
    EXPECT_EQ(outcome.attempts, 1);
    EXPECT_GT(seconds, 2.0) << "the line rate did not apply, so the case shows nothing";
    EXPECT_TRUE(kavtest::ReadFileBytes(folder_ / "slow.bin") == body);
}

TEST_F(StorageClient, DefaultTimeOutEndsAStalledBodyAfterTenSeconds) {
    const std::string key = "tests/stall-once.bin";
    const std::string body = kavtest::PseudoRandomBytes(200 * 1024, 5);
    kavtest::PutObject(key, body);
    ASSERT_TRUE(kavtest::AddFault(key, "\"stall_after\": 1000", 1, "GET"));
    const auto client = Client();
    const ULONGLONG start = ::GetTickCount64();
    GetObjectOutcome outcome = Download(*client, key, folder_ / "stall.bin");
    const double seconds = SecondsSince(start);
    outcome.content.reset();
    ASSERT_TRUE(outcome.success) << outcome.error.code;
    EXPECT_EQ(outcome.attempts, 2);
    EXPECT_GE(seconds, 9.5);
    EXPECT_LT(seconds, 20.0);
    EXPECT_TRUE(kavtest::ReadFileBytes(folder_ / "stall.bin") == body);
}

TEST_F(StorageClient, ARefusedPortFailsAfterTheDefaultRetryDelays) {
    const std::string endpoint = "127.0.0.1:" + std::to_string(kavtest::UnusedLoopbackPort());
    OssClient client(endpoint, account_.keyId, account_.keySecret, ClientConfiguration());
    const ULONGLONG start = ::GetTickCount64();
    const kav::oss::ObjectMetaOutcome outcome = client.GetObjectMeta(account_.bucket, "9.5KAvrindelIE/summary.ini");
    const double seconds = SecondsSince(start);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.error.httpStatus, 0);
    EXPECT_EQ(outcome.error.code, "ERROR_WINHTTP_CANNOT_CONNECT");
    // 300 + 600 + 1200 ms between four attempts.
    EXPECT_GE(seconds, 2.0);
    EXPECT_LT(seconds, 6.0);
}

TEST_F(StorageClient, AStreamThatCannotBeOpenedEndsTheDownload) {
    const std::string key = "tests/nowhere.bin";
    kavtest::PutObject(key, "data");
    const auto client = Client(kavtest::FastConfiguration());
    const GetObjectOutcome outcome = Download(*client, key, folder_ / "no-such-folder\\nowhere.bin");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.error.code, "InvalidResponseStream");
    EXPECT_EQ(outcome.attempts, 1);
}

TEST_F(StorageClient, NothingIsSentAfterShutdownSdk) {
    kavtest::PutObject("tests/late.bin", "x");
    const auto client = Client(kavtest::FastConfiguration());
    kav::oss::ShutdownSdk();
    const kav::oss::ObjectMetaOutcome outcome = client->GetObjectMeta(account_.bucket, "tests/late.bin");
    kav::oss::InitializeSdk();
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.error.code, "SdkNotInitialized");
    EXPECT_TRUE(kavtest::RequestLog().empty());
    EXPECT_TRUE(client->DoesObjectExist(account_.bucket, "tests/late.bin"));
}

}  // namespace
