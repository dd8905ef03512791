#include "cloud/HmacSha1.h"

#include <climits>

#include "cloud/BcryptApi.h"

namespace kav::oss {

namespace {

// Owns one CNG hash object.
class ScopedHash {
public:
    ScopedHash(const BcryptApi& api) : api_(api) {}
    ~ScopedHash() {
        if (hash_ != nullptr) api_.DestroyHash(hash_);
    }
    ScopedHash(const ScopedHash&) = delete;
    ScopedHash& operator=(const ScopedHash&) = delete;
    BCRYPT_HASH_HANDLE* Put() { return &hash_; }
    BCRYPT_HASH_HANDLE Get() const { return hash_; }

private:
    const BcryptApi& api_;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

bool Succeeded(NTSTATUS status) { return status >= 0; }

PUCHAR Bytes(std::string_view text) { return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data())); }

}  // namespace

bool ComputeHmacSha1(std::string_view key, std::string_view data, HmacSha1Digest& digest) {
    const BcryptApi* api = GetBcryptApi();
    BCRYPT_ALG_HANDLE provider = SdkHmacProvider();
    if (api == nullptr || provider == nullptr) return false;
    if (key.size() > ULONG_MAX || data.size() > ULONG_MAX) return false;
    ScopedHash hash(*api);
    // The hash object's memory is left to CNG (no buffer given).
    if (!Succeeded(api->CreateHash(provider, hash.Put(), nullptr, 0, Bytes(key), static_cast<ULONG>(key.size()), 0))) {
        return false;
    }
    if (!Succeeded(api->HashData(hash.Get(), Bytes(data), static_cast<ULONG>(data.size()), 0))) return false;
    return Succeeded(api->FinishHash(hash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
}

}  // namespace kav::oss
