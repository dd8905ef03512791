#include "cloud/Sha256.h"

#include <algorithm>
#include <climits>

namespace kav::oss {

namespace {
bool Succeeded(NTSTATUS status) { return status >= 0; }
}  // namespace

Sha256::Sha256() {
    const BcryptApi* api = GetBcryptApi();
    // The hash object's memory is left to CNG (no buffer given).
    failed_ = api == nullptr ||
              !Succeeded(api->OpenAlgorithmProvider(provider_.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
              !Succeeded(api->CreateHash(provider_.Get(), hash_.Put(), nullptr, 0, nullptr, 0, 0));
}

bool Sha256::Update(const void* data, std::size_t size) {
    if (failed_) return false;
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    // BCryptHashData takes a 32-bit length: larger pieces go in several calls.
    while (size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, ULONG_MAX));
        if (!Succeeded(GetBcryptApi()->HashData(hash_.Get(), bytes, piece, 0))) {
            failed_ = true;
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool Sha256::Finish(Sha256Digest& digest) {
    if (failed_) return false;
    // A finished hash object cannot be used again.
    failed_ = true;
    return Succeeded(GetBcryptApi()->FinishHash(hash_.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
}

bool Sha256::Matches(const Sha256Digest& expected) {
    Sha256Digest actual{};
    return Finish(actual) && actual == expected;
}

bool ComputeSha256(std::string_view data, Sha256Digest& digest) {
    Sha256 hash;
    return hash.Update(data.data(), data.size()) && hash.Finish(digest);
}

}  // namespace kav::oss
