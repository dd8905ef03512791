#pragma once
// Request signature version 1 of the storage service:
//   Authorization: OSS <keyId>:base64(HMAC-SHA1(secret, VERB\n<Content-MD5>\n<Content-Type>\n<Date>\n/<bucket>/<key>[?sub]))
// The key enters the text as raw bytes, exactly as stored, not percent-encoded.
#include <string>
#include <string_view>

namespace kav::oss {

struct SignedRequest {
    std::string_view verb;         // "GET", "HEAD"
    std::string_view contentMd5;   // empty when the request sends none
    std::string_view contentType;  // empty when the request sends none
    std::string_view date;         // the Date header's value
    std::string_view bucket;
    std::string_view key;
    std::string_view subresource;  // "objectMeta" or empty
};

std::string StringToSign(const SignedRequest& request);

// "OSS <keyId>:<signature>"; empty when the HMAC could not be computed (the library is not set up).
std::string AuthorizationHeaderValue(std::string_view keyId, std::string_view keySecret, const SignedRequest& request);

}  // namespace kav::oss
