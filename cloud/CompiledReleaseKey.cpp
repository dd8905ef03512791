// The release public key compiled into this build (cloud/ReleaseKeySettings.h is generated).
// Compiled twice: as configured, and with KAVRINDEL_WITHOUT_RELEASE_KEY for a build that verifies
// nothing; an executable links one of the two (cloud/CMakeLists.txt).
#include <algorithm>

#include "cloud/ReleaseKeySettings.h"
#include "cloud/ReleasePublicKey.h"

namespace kav::oss {

const ReleasePublicKey* CompiledReleasePublicKey() {
#ifdef KAVRINDEL_WITHOUT_RELEASE_KEY
    return nullptr;
#else
    static const ReleasePublicKey key = [] {
        ReleasePublicKey k;
        std::copy(std::begin(kReleaseKeyPoint), std::end(kReleaseKeyPoint), k.point.begin());
        return k;
    }();
    return kReleaseKeyPresent ? &key : nullptr;
#endif
}

}  // namespace kav::oss
