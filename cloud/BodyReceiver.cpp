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
            // A failed read drops the part block: the transfer has failed anyway.
            error_ = ::GetLastError();
            ended_ = true;
            return false;
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
