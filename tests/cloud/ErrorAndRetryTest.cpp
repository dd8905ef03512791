#include <gtest/gtest.h>

#include <string>

#include "cloud/ClientConfiguration.h"
#include "cloud/ErrorXml.h"
#include "cloud/RetryStrategy.h"
#include "cloud/TransportErrors.h"

namespace {

using kav::oss::FailureKind;
using kav::oss::ServiceErrorBody;

struct XmlCase {
    std::string body;
    bool ok;
    ServiceErrorBody expected;
};

class ErrorBodies : public testing::TestWithParam<XmlCase> {};

TEST_P(ErrorBodies, YieldCodeMessageAndRequestId) {
    const XmlCase& c = GetParam();
    ServiceErrorBody e;
    EXPECT_EQ(kav::oss::ParseErrorXml(c.body, e), c.ok);
    EXPECT_EQ(e.code, c.expected.code);
    EXPECT_EQ(e.message, c.expected.message);
    EXPECT_EQ(e.requestId, c.expected.requestId);
    EXPECT_EQ(e.hostId, c.expected.hostId);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ErrorBodies,
    testing::Values(
        XmlCase{"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error>\n  <Code>NoSuchKey</Code>\n  <Message>The specified "
                "key does not exist.</Message>\n  <RequestId>5C3D9175B6FC201293AD****</RequestId>\n  "
                "<HostId>kavbucket.127.0.0.1</HostId>\n  <Key>a.zip</Key>\n</Error>\n",
                true,
                {"NoSuchKey", "The specified key does not exist.", "5C3D9175B6FC201293AD****", "kavbucket.127.0.0.1"}},
        XmlCase{"<Error><Code>SignatureDoesNotMatch</Code><Message>a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos; "
                "&unknown;</Message><RequestId/></Error>",
                true,
                {"SignatureDoesNotMatch", "a <b> & \"c\" 'd' &unknown;", "", ""}},
        XmlCase{"<Error><Code><![CDATA[A&B]]></Code></Error>", true, {"A&B", "", "", ""}},
        // Elements after </Error> do not belong to it; a body that is not an error gives nothing.
        XmlCase{"<Error><Code>X</Code></Error><Message>outside</Message>", true, {"X", "", "", ""}},
        XmlCase{"<html>Bad gateway</html>", false, {}}, XmlCase{"", false, {}},
        XmlCase{"<Error><Code>Cut", true, {}}));

struct RetryCase {
    FailureKind kind;
    int status;
    int attempted;
    bool retry;
};

class RetryDecisions : public testing::TestWithParam<RetryCase> {};

TEST_P(RetryDecisions, RetryTransportAndServerErrorsOnly) {
    const RetryCase& c = GetParam();
    const kav::oss::RetryStrategy strategy;  // the defaults: 3 retries, 300 ms scale
    EXPECT_EQ(strategy.ShouldRetry(c.kind, c.status, c.attempted), c.retry);
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, RetryDecisions,
    testing::Values(RetryCase{FailureKind::Transport, 0, 0, true}, RetryCase{FailureKind::Transport, 0, 2, true},
                    RetryCase{FailureKind::Transport, 0, 3, false}, RetryCase{FailureKind::Integrity, 200, 0, true},
                    RetryCase{FailureKind::Service, 500, 0, true}, RetryCase{FailureKind::Service, 503, 2, true},
                    RetryCase{FailureKind::Service, 599, 0, true}, RetryCase{FailureKind::Service, 503, 3, false},
                    RetryCase{FailureKind::Service, 404, 0, false}, RetryCase{FailureKind::Service, 403, 0, false},
                    RetryCase{FailureKind::Service, 499, 0, false}, RetryCase{FailureKind::Service, 600, 0, false},
                    RetryCase{FailureKind::Local, 0, 0, false}));

struct DownloadRetryCase {
    const char* name;
    FailureKind kind;
    int status;
    bool progressed;
    int retriesSpent;
    int attemptsMade;
    bool again;
    long delayMs;
    int retriesAfter;
};

class DownloadRetries : public testing::TestWithParam<DownloadRetryCase> {};

TEST_P(DownloadRetries, ProgressKeepsTheBudgetAndTheCapEndsEverything) {
    const DownloadRetryCase& c = GetParam();
    const kav::oss::RetryStrategy strategy;  // 3 retries, 300 ms scale, 16 attempts
    const kav::oss::NextAttempt next =
        strategy.AfterFailedDownload(c.kind, c.status, c.progressed, c.retriesSpent, c.attemptsMade);
    EXPECT_EQ(next.again, c.again);
    if (c.again) {
        EXPECT_EQ(next.delayMs, c.delayMs);
        EXPECT_EQ(next.retriesSpent, c.retriesAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, DownloadRetries,
    testing::Values(
        DownloadRetryCase{"nothingFirst", FailureKind::Transport, 0, false, 0, 1, true, 300, 1},
        DownloadRetryCase{"nothingThird", FailureKind::Transport, 0, false, 2, 3, true, 1200, 3},
        DownloadRetryCase{"nothingBudgetSpent", FailureKind::Transport, 0, false, 3, 4, false, 0, 0},
        // A cut after new bytes resumes at once and gives the budget back.
        DownloadRetryCase{"cutAfterBytes", FailureKind::Transport, 0, true, 2, 7, true, 0, 0},
        DownloadRetryCase{"cutAfterBytesBudgetSpent", FailureKind::Transport, 0, true, 3, 9, true, 0, 0},
        DownloadRetryCase{"objectChanged", FailureKind::Stale, 412, false, 1, 5, true, 0, 1},
        DownloadRetryCase{"checksumMismatch", FailureKind::Integrity, 200, false, 0, 1, true, 300, 1},
        DownloadRetryCase{"serverError", FailureKind::Service, 503, false, 1, 2, true, 600, 2},
        DownloadRetryCase{"notFound", FailureKind::Service, 404, false, 0, 1, false, 0, 0},
        DownloadRetryCase{"fileNotWritable", FailureKind::Local, 0, true, 0, 1, false, 0, 0},
        DownloadRetryCase{"capAfterProgress", FailureKind::Transport, 0, true, 0, 16, false, 0, 0},
        DownloadRetryCase{"capWhenStale", FailureKind::Stale, 412, false, 0, 16, false, 0, 0},
        DownloadRetryCase{"lastBeforeCap", FailureKind::Transport, 0, true, 0, 15, true, 0, 0}),
    [](const testing::TestParamInfo<DownloadRetryCase>& info) { return std::string(info.param.name); });

TEST(RetryDelays, GrowExponentiallyOnTheScale) {
    const kav::oss::RetryStrategy strategy;
    EXPECT_EQ(strategy.DelayMs(0), 300);
    EXPECT_EQ(strategy.DelayMs(1), 600);
    EXPECT_EQ(strategy.DelayMs(2), 1200);
    kav::oss::RetryStrategy fast{5, 10};
    EXPECT_EQ(fast.DelayMs(4), 160);
    EXPECT_GT(fast.DelayMs(1000), 0) << "a huge retry count must not overflow the delay";
}

TEST(ClientConfiguration, DefaultsAreTheInstallersSettings) {
    const kav::oss::ClientConfiguration c;
    EXPECT_EQ(c.connectTimeoutMs, 5000);
    EXPECT_EQ(c.requestTimeoutMs, 10000);
    EXPECT_EQ(c.maxRetries, 3);
    EXPECT_EQ(c.retryScaleMs, 300);
    EXPECT_EQ(c.maxDownloadAttempts, 16);
    EXPECT_TRUE(c.enableCrc64);
    EXPECT_EQ(c.userAgent, "Kavrindel-Installer/9.5.9.1 (Windows)");
}

TEST(TransportErrors, NameWinHttpErrors) {
    EXPECT_EQ(kav::oss::WinHttpErrorName(12029), "ERROR_WINHTTP_CANNOT_CONNECT");
    EXPECT_EQ(kav::oss::WinHttpErrorName(12002), "ERROR_WINHTTP_TIMEOUT");
    EXPECT_EQ(kav::oss::WinHttpErrorName(12175), "ERROR_WINHTTP_SECURE_FAILURE");
    EXPECT_EQ(kav::oss::WinHttpErrorName(10060), "ERROR_WINHTTP_TIMEOUT");
    EXPECT_EQ(kav::oss::WinHttpErrorName(10054), "ERROR_WINHTTP_CONNECTION_ERROR");
    EXPECT_EQ(kav::oss::WinHttpErrorName(4), "WINHTTP_ERROR_4");
}

}  // namespace
