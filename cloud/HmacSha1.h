#pragma once
// HMAC-SHA1 through Windows' CNG (bcrypt.dll, loaded from System32 by InitializeSdk).
#include <array>
#include <string_view>

namespace kav::oss {

using HmacSha1Digest = std::array<unsigned char, 20>;

// False when the library has not been set up (InitializeSdk) or CNG refuses.
bool ComputeHmacSha1(std::string_view key, std::string_view data, HmacSha1Digest& digest);

}  // namespace kav::oss
