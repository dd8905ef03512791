#pragma once
// The signature of a release's manifest: the object summary.ini.sig holds one line, the standard
// base64 of the 64-byte ECDSA P-256 signature r||s over the SHA-256 of summary.ini's exact bytes.
#include <string_view>

#include "cloud/EcdsaP256.h"
#include "cloud/ReleasePublicKey.h"
#include "cloud/Sha256.h"

namespace kav::oss {

enum class ManifestSignatureCheck {
    Valid,
    Malformed,    // not one line of base64 of 64 bytes
    Invalid,      // well-formed, but not made by the release key over this manifest
    Unavailable,  // CNG could not check it
};

// The signature in the text of a .sig file. Trailing CR and LF characters are ignored; everything
// else must be base64 of exactly 64 bytes.
bool ParseSignatureText(std::string_view text, EcdsaP256Signature& signature);

ManifestSignatureCheck CheckManifestSignature(const ReleasePublicKey& key, const Sha256Digest& manifestDigest,
                                              std::string_view signatureText);

}  // namespace kav::oss
