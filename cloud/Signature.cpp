#include "cloud/Signature.h"

#include "cloud/Base64.h"
#include "cloud/HmacSha1.h"

namespace kav::oss {

std::string StringToSign(const SignedRequest& r) {
    std::string text;
    text.reserve(64 + r.date.size() + r.bucket.size() + r.key.size() + r.subresource.size());
    text.append(r.verb).append("\n");
    text.append(r.contentMd5).append("\n");
    text.append(r.contentType).append("\n");
    text.append(r.date).append("\n");
    text.append("/").append(r.bucket).append("/").append(r.key);
    if (!r.subresource.empty()) text.append("?").append(r.subresource);
    return text;
}

std::string AuthorizationHeaderValue(std::string_view keyId, std::string_view keySecret, const SignedRequest& request) {
    HmacSha1Digest digest{};
    if (!ComputeHmacSha1(keySecret, StringToSign(request), digest)) return {};
    std::string value = "OSS ";
    value.append(keyId).append(":");
    value += Base64Encode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
    return value;
}

}  // namespace kav::oss
