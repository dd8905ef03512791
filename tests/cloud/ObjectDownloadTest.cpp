// DownloadObject and its two package variants against the local bucket: progress messages, the
// download counter and the install log's lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "BucketClientTest.h"
#include "BucketSupport.h"
#include "TestSupport.h"
#include "app/InstallSettings.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "cloud/Sha256.h"
#include "engine/WorkerMessages.h"

namespace {

constexpr char kBaseKey[] = "9.5KAvrindelIE/base.zip";
constexpr char kConfigKey[] = "9.5KAvrindelIE/config.zip";

class ObjectDownload : public kavtest::BucketClientTest {
protected:
    void SetUp() override {
        BucketClientTest::SetUp();
        PinPackage("base.zip");
        PinPackage("config.zip");
    }

    // The last progress value posted since the last call; -1 when none was posted.
    int LastProgress() {
        const std::vector<int> values = TakeProgress();
        return values.empty() ? -1 : values.back();
    }

    std::vector<int> TakeProgress() {
        recorder_.Pump();
        std::vector<int> values = recorder_.Progress();
        recorder_.Clear();
        return values;
    }
};

// Each download's progress stays within its slice, never falls, and ends at the slice's end.
void ExpectSlice(const std::vector<int>& values, int from, int to, size_t minimumCount) {
    ASSERT_GE(values.size(), minimumCount);
    EXPECT_GE(values.front(), from);
    for (size_t i = 1; i < values.size(); ++i) EXPECT_GE(values[i], values[i - 1]);
    EXPECT_EQ(values.back(), to);
}

TEST_F(ObjectDownload, FiveDownloadsShareTheBarInSlices) {
    // A larger base package so that its download posts several blocks.
    kavtest::PutObject(kBaseKey, kavtest::PseudoRandomBytes(1024 * 1024 + 5, 11));
    ASSERT_TRUE(kavtest::SignRelease());

    ASSERT_TRUE(client_.ReadRemoteManifest());
    ExpectSlice(TakeProgress(), 0, 16, 1);
    EXPECT_EQ(client_.downloadsExpected, 5);

    ASSERT_TRUE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    ExpectSlice(TakeProgress(), 16, 32, 4);
    ASSERT_TRUE(client_.DownloadObject(kConfigKey, (staging_.Path() + "/config.zip").c_str()));
    ExpectSlice(TakeProgress(), 32, 48, 1);

    const std::string fixName = std::string(client_.fixPackage) + ".zip";
    ASSERT_TRUE(client_.DownloadFixPackage(fixName.c_str()));
    recorder_.Pump();
    const auto& messages = recorder_.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), std::make_pair(WM_INSTALL_STEP, static_cast<LPARAM>(StepDownloadFix)))
        << "the step comes before any progress of its download";
    ExpectSlice(TakeProgress(), 48, 64, 1);

    EXPECT_EQ(client_.downloadsDone, 4);
    EXPECT_EQ(client_.progressPercent, 64);
    EXPECT_TRUE(kavtest::ReadFileBytes(staging_.Path() + "\\base.zip") == kavtest::ReadObject(kBaseKey));
    EXPECT_TRUE(kavtest::ReadFileBytes(staging_.Path() + "\\" + fixName) ==
                kavtest::ReadObject("9.5KAvrindelIE/fix/" + fixName));
    EXPECT_TRUE(log_.Lines().empty());
    for (const auto& r : kavtest::RequestLog()) EXPECT_TRUE(r.signatureOk) << r.method;
}

TEST_F(ObjectDownload, WithQuantSixDownloadsShareTheBar) {
    kavtest::PutObject(kBaseKey, kavtest::PseudoRandomBytes(1024 * 1024, 12));
    ASSERT_TRUE(kavtest::SignRelease());
    ASSERT_TRUE(client_.ReadRemoteManifest());
    ASSERT_TRUE(client_.hasQuant) << "this run's release names a Quant package";
    ExpectSlice(TakeProgress(), 0, 16, 1);
    EXPECT_EQ(client_.downloadsExpected, 6);

    ASSERT_TRUE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    ExpectSlice(TakeProgress(), 13, 26, 4);
    ASSERT_TRUE(client_.DownloadObject(kConfigKey, (staging_.Path() + "/config.zip").c_str()));
    ExpectSlice(TakeProgress(), 26, 40, 1);
    ASSERT_TRUE(client_.DownloadFixPackage((std::string(client_.fixPackage) + ".zip").c_str()));
    ExpectSlice(TakeProgress(), 40, 53, 1);

    const std::string quantName = std::string(client_.quantPackage) + ".zip";
    ASSERT_TRUE(client_.DownloadQuantPackage(quantName.c_str()));
    recorder_.Pump();
    ASSERT_FALSE(recorder_.Messages().empty());
    EXPECT_EQ(recorder_.Messages().front(), std::make_pair(WM_INSTALL_STEP, static_cast<LPARAM>(StepDownloadQuant)));
    ExpectSlice(TakeProgress(), 53, 66, 1);
    EXPECT_TRUE(kavtest::PathExists(staging_.Path() + "\\" + quantName));
}

TEST_F(ObjectDownload, AMissingObjectLogsItsKeyAndCountsNothing) {
    const std::string original = kavtest::ReadObject(kBaseKey);
    ASSERT_TRUE(::DeleteFileA((account_.root + "\\9.5KAvrindelIE\\base.zip").c_str()));
    const std::string local = staging_.Path() + "/sub/base.zip";
    const bool downloaded = client_.DownloadObject(kBaseKey, local.c_str());
    kavtest::PutObject(kBaseKey, original);  // the other cases of this run need it
    EXPECT_FALSE(downloaded);
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{"9.5KAvrindelIE/base.zip,文件不存在"});
    EXPECT_TRUE(TakeProgress().empty());
    EXPECT_EQ(client_.downloadsDone, 0);
    EXPECT_FALSE(kavtest::PathExists(staging_.Path() + "\\sub")) << "no folder for a missing object";
}

TEST_F(ObjectDownload, AWrongKeyPairFailsTheExistenceCheck) {
    UseClient(account_.endpoint, "NotTheSecretOfThisBucket00000", kav::oss::ClientConfiguration());
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{"9.5KAvrindelIE/base.zip,文件不存在"});
    EXPECT_EQ(client_.downloadsDone, 0);
    const auto requests = kavtest::RequestLog();
    ASSERT_EQ(requests.size(), 1u) << "a refused signature is not retried";
    EXPECT_EQ(requests[0].status, 403);
    EXPECT_FALSE(requests[0].signatureOk);
}

TEST_F(ObjectDownload, AnUnreachableEndpointFailsTheExistenceCheckAfterTheRetries) {
    UseClient("127.0.0.1:" + std::to_string(kavtest::UnusedLoopbackPort()), account_.keySecret,
              kav::oss::ClientConfiguration());
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    const double seconds = (::GetTickCount64() - start) / 1000.0;
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{"9.5KAvrindelIE/base.zip,文件不存在"});
    EXPECT_EQ(client_.downloadsDone, 0);
    EXPECT_GE(seconds, 2.0);
    EXPECT_LT(seconds, 6.0);
}

TEST_F(ObjectDownload, TwoServerErrorsThenSuccess) {
    ASSERT_TRUE(kavtest::AddFault(kBaseKey, "\"status\": 503", 2, "GET"));
    EXPECT_TRUE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{});
    EXPECT_EQ(client_.downloadsDone, 1);
    EXPECT_EQ(LastProgress(), 16);
}

TEST_F(ObjectDownload, AFailedTransferLogsTheServicesErrorAndStillCounts) {
    ASSERT_TRUE(kavtest::AddFault(kBaseKey,
                                  "\"status\": 503, \"code\": \"ServiceUnavailable\", \"message\": \"Please reduce "
                                  "your request rate.\"",
                                  -1, "GET"));
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    const auto requests = kavtest::RequestLog();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().status, 503);
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{"Downfile Fail,code:ServiceUnavailable,message:Please reduce "
                                                     "your request rate.,requestId:" +
                                                     requests.back().requestId});
    EXPECT_EQ(client_.downloadsDone, 1);
    EXPECT_TRUE(TakeProgress().empty());

    // The next download runs in the second slice.
    EXPECT_TRUE(client_.DownloadObject(kConfigKey, (staging_.Path() + "/config.zip").c_str()));
    EXPECT_EQ(LastProgress(), 32);
}

TEST_F(ObjectDownload, ACorruptedBodyFailsTheTransfer) {
    ASSERT_TRUE(kavtest::AddFault(kBaseKey, "\"corrupt\": true", -1, "GET"));
    UseClient(account_.endpoint, account_.keySecret, kavtest::FastConfiguration());
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Downfile Fail,code:CrcCheckError,message:", 0), 0u) << lines[0];
    EXPECT_EQ(client_.downloadsDone, 1);
}

TEST_F(ObjectDownload, ABodyCutHalfWayIsFetchedAgain) {
    const std::string body = kavtest::ReadObject(kBaseKey);
    ASSERT_GT(body.size(), 2u);
    ASSERT_TRUE(kavtest::AddFault(kBaseKey, "\"truncate_after\": " + std::to_string(body.size() / 2), 1, "GET"));
    EXPECT_TRUE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    EXPECT_TRUE(kavtest::ReadFileBytes(staging_.Path() + "\\base.zip") == body);
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(ObjectDownload, AStalledBodyFailsAfterTheTimeOutsAndRetries) {
    ASSERT_TRUE(kavtest::AddFault(kBaseKey, "\"stall_after\": 100", -1, "GET"));
    UseClient(account_.endpoint, account_.keySecret, kavtest::FastConfiguration(1000));
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Downfile Fail,code:ERROR_WINHTTP_TIMEOUT,message:", 0), 0u) << lines[0];
    EXPECT_EQ(client_.downloadsDone, 1);
}

TEST_F(ObjectDownload, AnOverlongErrorTextIsCutToTheLineBuffer) {
    const std::string message(3000, 'm');
    ASSERT_TRUE(kavtest::AddFault(kBaseKey, "\"status\": 500, \"code\": \"InternalError\", \"message\": \"" + message + "\"",
                                  -1, "GET"));
    UseClient(account_.endpoint, account_.keySecret, kavtest::FastConfiguration());
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, (staging_.Path() + "/base.zip").c_str()));
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Downfile Fail,code:InternalError,message:" + message.substr(0, 2045 - 41));
}

struct PinCase {
    const char* name;
    bool pinned;   // false: the manifest pins no digest for the package
    const char* code;
    size_t gets;   // body requests sent
};

class PinnedDownloads : public ObjectDownload, public testing::WithParamInterface<PinCase> {};

// A package whose body differs from its pinned digest is fetched again, then fails like a damaged
// transfer and leaves no file; one without a pinned digest is not fetched at all.
TEST_P(PinnedDownloads, AnUnverifiedPackageFailsAndLeavesNoFile) {
    const PinCase& c = GetParam();
    client_.packageDigests.Clear();
    if (c.pinned) {
        kav::oss::Sha256Digest digest{};
        ASSERT_TRUE(kav::oss::ComputeSha256(kavtest::ReadObject(kBaseKey), digest));
        digest[0] ^= 0x80;
        client_.packageDigests.Set("base.zip", digest);
    }
    UseClient(account_.endpoint, account_.keySecret, kavtest::FastConfiguration());
    const std::string local = staging_.Path() + "/base.zip";
    EXPECT_FALSE(client_.DownloadObject(kBaseKey, local.c_str()));
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(std::string("Downfile Fail,code:") + c.code + ",message:", 0), 0u) << lines[0];
    EXPECT_EQ(client_.downloadsDone, 1) << "it counts as a failed transfer";
    EXPECT_FALSE(kavtest::PathExists(local));
    size_t gets = 0;
    for (const auto& r : kavtest::RequestLog()) gets += r.method == "GET";
    EXPECT_EQ(gets, c.gets);
}

INSTANTIATE_TEST_SUITE_P(Digests, PinnedDownloads,
                         testing::Values(PinCase{"otherDigest", true, "Sha256CheckError", 4},
                                         PinCase{"noDigest", false, "Sha256Missing", 0}),
                         [](const testing::TestParamInfo<PinCase>& info) { return std::string(info.param.name); });

// Under the Chinese locale (ANSI code page 936) a staging folder with a Chinese name is a GBK path.
TEST_F(ObjectDownload, GbkLocalPathNamesTheFolderAsTheUserSeesIt) {
    ASSERT_EQ(::GetACP(), 936u) << "run with LANG=zh_CN.UTF-8";
    const std::string folder = staging_.Path() + "\\安装临时";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(client_.DownloadObject(kConfigKey, (folder + "/config.zip").c_str()));
    const std::wstring wideFolder = std::wstring(staging_.Path().begin(), staging_.Path().end()) + L"\\安装临时\\config.zip";
    EXPECT_NE(::GetFileAttributesW(wideFolder.c_str()), INVALID_FILE_ATTRIBUTES) << "the file is not under 安装临时";
    EXPECT_TRUE(kavtest::ReadFileBytes(folder + "\\config.zip") == kavtest::ReadObject(kConfigKey));
}

}  // namespace
