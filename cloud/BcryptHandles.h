#pragma once
// Owners of the CNG handles (algorithm providers, hash objects, keys), closed through the
// functions of the safely loaded bcrypt.dll.
#include "cloud/BcryptApi.h"
#include "system/Handles.h"

namespace kav::oss {

struct BcryptAlgorithmTraits {
    using Value = BCRYPT_ALG_HANDLE;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { GetBcryptApi()->CloseAlgorithmProvider(v, 0); }
};
using UniqueBcryptAlgorithm = UniqueResource<BcryptAlgorithmTraits>;

struct BcryptHashTraits {
    using Value = BCRYPT_HASH_HANDLE;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { GetBcryptApi()->DestroyHash(v); }
};
using UniqueBcryptHash = UniqueResource<BcryptHashTraits>;

struct BcryptKeyTraits {
    using Value = BCRYPT_KEY_HANDLE;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { GetBcryptApi()->DestroyKey(v); }
};
using UniqueBcryptKey = UniqueResource<BcryptKeyTraits>;

}  // namespace kav::oss
