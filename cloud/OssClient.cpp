#include "cloud/OssClient.h"

#include <windows.h>
#include <winhttp.h>

#include <climits>
#include <cstdlib>

#include "cloud/BodyChecks.h"
#include "cloud/BodyReceiver.h"
#include "cloud/DownloadResume.h"
#include "cloud/ErrorXml.h"
#include "cloud/HttpDate.h"
#include "cloud/OssSdk.h"
#include "cloud/Signature.h"
#include "cloud/TransportErrors.h"
#include "cloud/WinHttpApi.h"

namespace kav::oss {

namespace {

// An error body larger than this is not read further.
constexpr size_t kMaxErrorBodyBytes = 64 * 1024;
constexpr char kObjectMetaSubresource[] = "objectMeta";
constexpr wchar_t kRequestIdHeader[] = L"x-oss-request-id";
constexpr wchar_t kCrc64Header[] = L"x-oss-hash-crc64ecma";
constexpr int kFirstSuccessStatus = 200;
constexpr int kLastSuccessStatus = 299;
constexpr DWORD kProxyAuthenticationRequired = 407;

constexpr char kCodeNotInitialized[] = "SdkNotInitialized";
constexpr char kCodeInvalidEndpoint[] = "InvalidEndpoint";
constexpr char kCodeSignFailed[] = "SignatureFailed";
constexpr char kCodeNoStream[] = "InvalidResponseStream";
constexpr char kCodeWriteFailed[] = "StreamWriteFailed";
constexpr char kCodeIncompleteBody[] = "IncompleteBody";
constexpr char kCodeCrcMismatch[] = "CrcCheckError";
constexpr char kCodeSha256Mismatch[] = "Sha256CheckError";
constexpr char kCodeStartedOver[] = "DownloadStartedOver";
constexpr char kServiceCodePrefix[] = "HttpStatus";

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

bool QueryText(const WinHttpApi& api, HINTERNET request, DWORD info, const wchar_t* name, std::string& value) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer;
    if (!api.QueryHeaders(request, info, name, buffer, &size, WINHTTP_NO_HEADER_INDEX)) return false;
    value = Narrow(buffer);
    return true;
}

// A decimal number without sign; false for anything else or a value beyond 64 bits.
bool ParseUnsigned(const std::string& text, std::uint64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

}  // namespace

struct OssClient::Attempt {
    bool success = false;
    FailureKind kind = FailureKind::Local;
    bool progressed = false;  // bytes of the body were added to the file
    OssError error;
    std::int64_t contentLength = -1;
    std::string requestId;

    void Fail(FailureKind k, std::string code, std::string message) {
        success = false;
        kind = k;
        error.code = std::move(code);
        error.message = std::move(message);
        if (error.requestId.empty()) error.requestId = requestId;
    }
    void FailTransport(DWORD winHttpError, const char* stage) {
        Fail(FailureKind::Transport, WinHttpErrorName(winHttpError),
             std::string("WinHTTP error ") + std::to_string(winHttpError) + " while " + stage);
    }
};

// One download across its attempts: the file (opened when the first body arrives), what it holds
// of the object, and the checks over its bytes.
struct OssClient::Transfer {
    Transfer(bool crc64, bool sha256) : checks(crc64, sha256) {}

    // Empties the file: the object is fetched again from byte 0.
    bool StartOver() {
        point = ResumePoint();
        checks.Reset();
        return !stream || stream->Truncate();
    }

    std::unique_ptr<ResponseStream> stream;
    ResumePoint point;
    BodyChecks checks;
};

OssClient::OssClient(const std::string& endpoint, const std::string& accessKeyId, const std::string& accessKeySecret,
                     const ClientConfiguration& configuration)
    : accessKeyId_(accessKeyId), accessKeySecret_(accessKeySecret), configuration_(configuration) {
    endpointValid_ = ParseEndpoint(endpoint, endpoint_);
    retry_.maxRetries = configuration.maxRetries;
    retry_.scaleMs = configuration.retryScaleMs;
    retry_.maxDownloadAttempts = configuration.maxDownloadAttempts;
}

OssClient::Attempt OssClient::Send(const char* verb, const std::string& bucket, const std::string& key,
                                   const char* subresource, const GetObjectRequest* download,
                                   Transfer* transfer) const {
    Attempt attempt;
    const WinHttpApi* api = GetWinHttpApi();
    if (api == nullptr || SdkSession() == nullptr) {
        attempt.Fail(FailureKind::Local, kCodeNotInitialized, "InitializeSdk has not set up the HTTP layer");
        return attempt;
    }
    if (!endpointValid_) {
        attempt.Fail(FailureKind::Local, kCodeInvalidEndpoint, "the endpoint cannot be parsed");
        return attempt;
    }

    const RequestTarget target = TargetFor(endpoint_, bucket, key, subresource);
    // The user's proxy settings decide whether the request goes through a proxy.
    std::wstring proxy;
    HINTERNET session = SdkSessionFor(ProxyTarget{target.secure, Wide(target.host), target.port}, proxy);
    if (session == nullptr) {
        attempt.FailTransport(::GetLastError(), "opening the session for the proxy");
        return attempt;
    }
    UniqueInternet connection(api->Connect(session, Wide(target.host).c_str(), target.port, 0));
    if (!connection) {
        attempt.FailTransport(::GetLastError(), "connecting");
        return attempt;
    }
    // The path is already percent-encoded: WinHTTP must send it as it is.
    const DWORD openFlags = (target.secure ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_ESCAPE_DISABLE |
                            WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    UniqueInternet request(api->OpenRequest(connection.Get(), Wide(verb).c_str(), Wide(target.path).c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, openFlags));
    if (!request) {
        attempt.FailTransport(::GetLastError(), "opening the request");
        return attempt;
    }
    const int connectMs = static_cast<int>(configuration_.connectTimeoutMs);
    const int waitMs = static_cast<int>(configuration_.requestTimeoutMs);
    api->SetTimeouts(request.Get(), connectMs, connectMs, waitMs, waitMs);

    const std::string date = HttpDateNow();
    SignedRequest toSign;
    toSign.verb = verb;
    toSign.date = date;
    toSign.bucket = bucket;
    toSign.key = key;
    toSign.subresource = subresource;
    const std::string authorization = AuthorizationHeaderValue(accessKeyId_, accessKeySecret_, toSign);
    if (authorization.empty()) {
        attempt.Fail(FailureKind::Local, kCodeSignFailed, "the request could not be signed");
        return attempt;
    }
    // A download that ended part way asks for the rest of the same object. Version 1 of the
    // signature does not cover Range or If-Match.
    const std::string resume = transfer != nullptr ? ResumeHeaders(transfer->point) : std::string();
    const bool resumed = !resume.empty();
    const std::string headers = "Date: " + date + "\r\nAuthorization: " + authorization +
                                "\r\nUser-Agent: " + configuration_.userAgent + "\r\n" + resume;
    const std::wstring wideHeaders = Wide(headers);
    if (!api->AddRequestHeaders(request.Get(), wideHeaders.c_str(), static_cast<DWORD>(-1L),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        attempt.FailTransport(::GetLastError(), "adding the headers");
        return attempt;
    }
    if (!api->SendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        attempt.FailTransport(::GetLastError(), "sending the request");
        return attempt;
    }
    if (!api->ReceiveResponse(request.Get(), nullptr)) {
        attempt.FailTransport(::GetLastError(), "waiting for the response");
        return attempt;
    }

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!api->QueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
        attempt.FailTransport(::GetLastError(), "reading the status");
        return attempt;
    }
    attempt.error.httpStatus = static_cast<int>(status);
    if (status == kProxyAuthenticationRequired && !proxy.empty()) {
        // No credentials are ever sent to a proxy and nobody is asked for them: the request fails
        // at once (a 4xx answer is not retried).
        attempt.Fail(FailureKind::Service, kProxyAuthenticationCode,
                     "the proxy " + Narrow(proxy.c_str()) +
                         " of the user's settings asks for credentials (HTTP 407); the installer sends none");
        return attempt;
    }
    QueryText(*api, request.Get(), WINHTTP_QUERY_CUSTOM, kRequestIdHeader, attempt.requestId);
    std::string lengthText;
    std::uint64_t length = 0;
    if (QueryText(*api, request.Get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, lengthText) &&
        ParseUnsigned(lengthText, length) && length <= static_cast<std::uint64_t>(INT64_MAX)) {
        attempt.contentLength = static_cast<std::int64_t>(length);
    }

    AnswerPlacement placement = AnswerPlacement::NotABody;
    if (transfer != nullptr) {
        std::string contentRange;
        QueryText(*api, request.Get(), WINHTTP_QUERY_CONTENT_RANGE, WINHTTP_HEADER_NAME_BY_INDEX, contentRange);
        placement = PlaceAnswer(transfer->point, resumed, static_cast<int>(status), contentRange,
                                attempt.contentLength);
        if (placement == AnswerPlacement::StartOverNext) {
            // The bytes in the file cannot be continued with this answer: its body is left unread.
            const std::int64_t had = transfer->point.received;
            if (!transfer->StartOver()) {
                attempt.Fail(FailureKind::Local, kCodeWriteFailed, "the response stream could not be emptied");
                return attempt;
            }
            attempt.Fail(FailureKind::Stale, kCodeStartedOver,
                         "HTTP " + std::to_string(status) + (contentRange.empty() ? "" : " " + contentRange) +
                             " does not continue the " + std::to_string(had) +
                             " bytes already received; the download starts again from byte 0");
            return attempt;
        }
    }

    const bool answeredOk = status >= kFirstSuccessStatus && status <= kLastSuccessStatus;
    if (!answeredOk) {
        std::string body;
        if (std::string_view(verb) != "HEAD") {
            char chunk[8192];
            DWORD got = 0;
            while (body.size() < kMaxErrorBodyBytes && api->ReadData(request.Get(), chunk, sizeof chunk, &got) && got > 0) {
                body.append(chunk, got);
            }
        }
        ServiceErrorBody parsed;
        ParseErrorXml(body, parsed);
        std::string statusText;
        QueryText(*api, request.Get(), WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX, statusText);
        attempt.error.requestId = !attempt.requestId.empty() ? attempt.requestId : parsed.requestId;
        attempt.Fail(FailureKind::Service,
                     !parsed.code.empty() ? parsed.code : kServiceCodePrefix + std::to_string(status),
                     !parsed.message.empty() ? parsed.message : statusText);
        return attempt;
    }
    if (download == nullptr || transfer == nullptr) {
        attempt.success = true;
        return attempt;
    }

    // The body: the download's one stream (made when the first body arrives), blocks of at least
    // 64 KiB (one progress call each keeps the dialog's message queue short), CRC-64 and, when the
    // request names a digest, SHA-256 over the whole file, however many parts it came in.
    if (!transfer->stream) {
        transfer->stream = download->StreamFactory() ? download->StreamFactory()() : nullptr;
        if (!transfer->stream) {
            attempt.Fail(FailureKind::Local, kCodeNoStream, "the response stream could not be created");
            return attempt;
        }
    }
    ResumePoint& point = transfer->point;
    if (placement == AnswerPlacement::StartOver) {
        if (!transfer->StartOver()) {
            attempt.Fail(FailureKind::Local, kCodeWriteFailed, "the response stream could not be emptied");
            return attempt;
        }
        point.total = attempt.contentLength;
        QueryText(*api, request.Get(), WINHTTP_QUERY_ETAG, WINHTTP_HEADER_NAME_BY_INDEX, point.etag);
    }
    const TransferProgress& progress = download->Progress();
    std::int64_t received = 0;  // in this attempt
    {
        BodyReceiver receiver(*api, request.Get(), attempt.contentLength);
        BodyReceiver::Block block;
        while (receiver.Next(block)) {
            transfer->checks.Update(block.data, block.size);
            if (!transfer->stream->Write(block.data, block.size)) {
                attempt.Fail(FailureKind::Local, kCodeWriteFailed, "the body could not be written to the stream");
                return attempt;
            }
            received += block.size;
            point.received += block.size;
            attempt.progressed = true;
            receiver.Release();
            // Counted over the whole object, so that resumed bytes never move the bar back.
            if (progress.handler != nullptr) {
                progress.handler(block.size, point.received, point.total, progress.userData);
            }
        }
        if (receiver.Error() != 0) {
            attempt.FailTransport(receiver.Error(), "receiving the body");
            return attempt;
        }
    }
    if (attempt.contentLength >= 0 && received != attempt.contentLength) {
        attempt.Fail(FailureKind::Transport, kCodeIncompleteBody,
                     "the connection ended after " + std::to_string(received) + " of " +
                         std::to_string(attempt.contentLength) + " bytes");
        return attempt;
    }
    // The service names the whole object's CRC-64, on a part as well.
    std::string crcText;
    std::uint64_t expectedCrc = 0;
    if (transfer->checks.HasCrc64() &&
        QueryText(*api, request.Get(), WINHTTP_QUERY_CUSTOM, kCrc64Header, crcText) &&
        ParseUnsigned(crcText, expectedCrc) && expectedCrc != transfer->checks.Crc64()) {
        attempt.Fail(FailureKind::Integrity, kCodeCrcMismatch,
                     "CRC-64 of the body is " + std::to_string(transfer->checks.Crc64()) + ", the service names " +
                         crcText);
    } else if (download->ExpectedSha256() && !transfer->checks.Sha256Matches(*download->ExpectedSha256())) {
        attempt.Fail(FailureKind::Integrity, kCodeSha256Mismatch, "SHA-256 of the body differs from the expected digest");
    } else {
        attempt.success = true;
        return attempt;
    }
    // A damaged file is not continued: the next attempt fetches the whole object again.
    attempt.progressed = false;
    if (!transfer->StartOver()) {
        attempt.Fail(FailureKind::Local, kCodeWriteFailed, "the response stream could not be emptied");
    }
    return attempt;
}

ObjectMetaOutcome OssClient::GetObjectMeta(const std::string& bucket, const std::string& key) const {
    for (int retries = 0;; ++retries) {
        Attempt attempt = Send("HEAD", bucket, key, kObjectMetaSubresource, nullptr, nullptr);
        if (attempt.success || !retry_.ShouldRetry(attempt.kind, attempt.error.httpStatus, retries)) {
            ObjectMetaOutcome outcome;
            outcome.success = attempt.success;
            outcome.error = std::move(attempt.error);
            outcome.contentLength = attempt.contentLength;
            outcome.requestId = std::move(attempt.requestId);
            return outcome;
        }
        ::Sleep(static_cast<DWORD>(retry_.DelayMs(retries)));
    }
}

bool OssClient::DoesObjectExist(const std::string& bucket, const std::string& key) const {
    return GetObjectMeta(bucket, key).success;
}

GetObjectOutcome OssClient::GetObject(const GetObjectRequest& request) const {
    GetObjectOutcome outcome;
    Transfer transfer(configuration_.enableCrc64, request.ExpectedSha256().has_value());
    int retriesSpent = 0;
    for (;;) {
        Attempt attempt = Send("GET", request.Bucket(), request.Key(), "", &request, &transfer);
        ++outcome.attempts;
        NextAttempt next;
        if (!attempt.success) {
            next = retry_.AfterFailedDownload(attempt.kind, attempt.error.httpStatus, attempt.progressed, retriesSpent,
                                              outcome.attempts);
        }
        if (attempt.success || !next.again) {
            outcome.success = attempt.success;
            outcome.error = std::move(attempt.error);
            outcome.contentLength = attempt.success ? transfer.point.total : attempt.contentLength;
            outcome.requestId = std::move(attempt.requestId);
            outcome.content = std::move(transfer.stream);
            return outcome;
        }
        retriesSpent = next.retriesSpent;
        if (next.delayMs > 0) ::Sleep(static_cast<DWORD>(next.delayMs));
    }
}

}  // namespace kav::oss
