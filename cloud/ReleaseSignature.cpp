#include "cloud/ReleaseSignature.h"

#include <string>

#include "cloud/Base64.h"

namespace kav::oss {

bool ParseSignatureText(std::string_view text, EcdsaP256Signature& signature) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    std::string bytes;
    if (!Base64Decode(text, bytes) || bytes.size() != signature.size()) return false;
    for (size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<unsigned char>(bytes[i]);
    return true;
}

ManifestSignatureCheck CheckManifestSignature(const ReleasePublicKey& key, const Sha256Digest& manifestDigest,
                                              std::string_view signatureText) {
    EcdsaP256Signature signature{};
    if (!ParseSignatureText(signatureText, signature)) return ManifestSignatureCheck::Malformed;
    switch (VerifyEcdsaP256(key, manifestDigest, signature)) {
        case SignatureVerdict::Valid:
            return ManifestSignatureCheck::Valid;
        case SignatureVerdict::Invalid:
            return ManifestSignatureCheck::Invalid;
        case SignatureVerdict::Unavailable:
            break;
    }
    return ManifestSignatureCheck::Unavailable;
}

}  // namespace kav::oss
