#include "cloud/BodyReceiver.h"

namespace kav::oss {

BodyReceiver::BodyReceiver(const WinHttpApi& api, HINTERNET request, std::int64_t contentLength)
    : api_(api), request_(request), contentLength_(contentLength), block_(kBlockBytes) {}

bool BodyReceiver::Next(Block& block) {
    if (ended_) return false;
    DWORD filled = 0;
    while (filled < kBlockBytes) {
        if (contentLength_ >= 0 && received_ + filled >= contentLength_) {
            ended_ = true;
            break;
        }
        DWORD got = 0;
        if (!api_.ReadData(request_, block_.data() + filled, kBlockBytes - filled, &got)) {
            // The bytes read before the failure are handed over all the same: a resumed download
            // asks only for what comes after them.
            error_ = ::GetLastError();
            ended_ = true;
            break;
        }
        if (got == 0) {
            ended_ = true;
            break;
        }
        filled += got;
    }
    received_ += filled;
    if (filled == 0) return false;
    block.data = block_.data();
    block.size = filled;
    return true;
}

}  // namespace kav::oss
