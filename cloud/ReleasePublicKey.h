#pragma once
// The vendor's release public key: an ECDSA P-256 point, X then Y, 32 big-endian bytes each.
#include <array>

namespace kav::oss {

struct ReleasePublicKey {
    std::array<unsigned char, 64> point{};
};

// The key this build verifies releases with; null in a build without release verification
// (KAVRINDEL_RELEASE_PUBLIC_KEY=none), which then installs unsigned releases as they are.
const ReleasePublicKey* CompiledReleasePublicKey();

}  // namespace kav::oss
