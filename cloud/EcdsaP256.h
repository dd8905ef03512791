#pragma once
// ECDSA P-256 signature verification through Windows' CNG (bcrypt.dll from System32): the public
// key is imported as a BCRYPT_ECCPUBLIC_BLOB, so nothing here parses ASN.1.
#include <array>

#include "cloud/ReleasePublicKey.h"
#include "cloud/Sha256.h"

namespace kav::oss {

// r then s, 32 big-endian bytes each.
using EcdsaP256Signature = std::array<unsigned char, 64>;

enum class SignatureVerdict {
    Valid,
    Invalid,      // CNG says the signature does not belong to this digest and key
    Unavailable,  // CNG is missing or refused the key: nothing could be checked
};

SignatureVerdict VerifyEcdsaP256(const ReleasePublicKey& key, const Sha256Digest& digest,
                                 const EcdsaP256Signature& signature);

}  // namespace kav::oss
