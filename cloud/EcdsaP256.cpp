#include "cloud/EcdsaP256.h"

#include <cstring>

#include "cloud/BcryptHandles.h"

namespace kav::oss {

namespace {

constexpr ULONG kCoordinateBytes = 32;

struct PublicBlob {
    BCRYPT_ECCKEY_BLOB header;
    unsigned char point[2 * kCoordinateBytes];
};

}  // namespace

SignatureVerdict VerifyEcdsaP256(const ReleasePublicKey& key, const Sha256Digest& digest,
                                 const EcdsaP256Signature& signature) {
    const BcryptApi* api = GetBcryptApi();
    if (api == nullptr) return SignatureVerdict::Unavailable;
    UniqueBcryptAlgorithm provider;
    if (api->OpenAlgorithmProvider(provider.Put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0) {
        return SignatureVerdict::Unavailable;
    }
    PublicBlob blob{};
    blob.header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    blob.header.cbKey = kCoordinateBytes;
    std::memcpy(blob.point, key.point.data(), sizeof blob.point);
    UniqueBcryptKey imported;
    if (api->ImportKeyPair(provider.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, imported.Put(),
                           reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0) < 0) {
        return SignatureVerdict::Unavailable;
    }
    const NTSTATUS status =
        api->VerifySignature(imported.Get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
                             const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0);
    // STATUS_INVALID_SIGNATURE for another digest or key; any other refusal (r or s out of
    // range, for instance) is no valid signature either.
    return status >= 0 ? SignatureVerdict::Valid : SignatureVerdict::Invalid;
}

}  // namespace kav::oss
