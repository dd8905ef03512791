#pragma once
// The storage client: signed object-meta and download requests to one endpoint over WinHTTP,
// with the configured time-outs, retries and CRC-64 check.
// windows.h comes first: its GetObject macro (wingdi.h) then renames the member alike in every
// file that sees this class.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "cloud/ClientConfiguration.h"
#include "cloud/Endpoint.h"
#include "cloud/GetObjectRequest.h"
#include "cloud/ResponseStream.h"
#include "cloud/RetryStrategy.h"

namespace kav::oss {

// The error code of a request that a proxy refused because it wants credentials (HTTP 407).
inline constexpr char kProxyAuthenticationCode[] = "ProxyAuthenticationRequired";

// Why a request failed. code/message/requestId come from the service's XML error body and the
// x-oss-request-id header; a transport failure has a code naming the WinHTTP error.
struct OssError {
    int httpStatus = 0;  // 0 when no answer arrived
    std::string code;
    std::string message;
    std::string requestId;
};

struct ObjectMetaOutcome {
    bool success = false;
    OssError error;
    std::int64_t contentLength = -1;
    std::string requestId;
};

struct GetObjectOutcome {
    bool success = false;
    OssError error;
    std::int64_t contentLength = -1;
    std::string requestId;
    int attempts = 0;  // requests sent, the first included
    // The download's stream; the file behind it closes when the outcome is released.
    std::unique_ptr<ResponseStream> content;
};

class OssClient {
public:
    OssClient(const std::string& endpoint, const std::string& accessKeyId, const std::string& accessKeySecret,
              const ClientConfiguration& configuration);

    // True only when the object-meta request (HEAD <key>?objectMeta) succeeded.
    bool DoesObjectExist(const std::string& bucket, const std::string& key) const;
    ObjectMetaOutcome GetObjectMeta(const std::string& bucket, const std::string& key) const;

    // Downloads the whole object into one stream from the request's factory. An attempt that ends
    // part way is followed by one that asks for the rest (Range and If-Match); see RetryStrategy
    // for when attempts end. contentLength is then the whole object's.
    GetObjectOutcome GetObject(const GetObjectRequest& request) const;

    const ClientConfiguration& Configuration() const { return configuration_; }

private:
    struct Attempt;
    struct Transfer;
    // download and transfer are null for a request without a body to keep.
    Attempt Send(const char* verb, const std::string& bucket, const std::string& key, const char* subresource,
                 const GetObjectRequest* download, Transfer* transfer) const;

    bool endpointValid_ = false;
    Endpoint endpoint_;
    std::string accessKeyId_;
    std::string accessKeySecret_;
    ClientConfiguration configuration_;
    RetryStrategy retry_;
};

}  // namespace kav::oss
