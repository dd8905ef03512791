#include "cloud/BodyChecks.h"

#include "cloud/Crc64.h"

namespace kav::oss {

BodyChecks::BodyChecks(bool crc64, bool sha256) : crc64On_(crc64), sha256On_(sha256) { Reset(); }

void BodyChecks::Reset() {
    crc64_ = 0;
    sha256_.reset();
    if (sha256On_) sha256_.emplace();
}

void BodyChecks::Update(const void* data, std::size_t size) {
    if (crc64On_) crc64_ = Crc64Update(crc64_, data, size);
    if (sha256_) sha256_->Update(data, size);
}

bool BodyChecks::Sha256Matches(const Sha256Digest& expected) {
    if (!sha256On_) return true;
    return sha256_ && sha256_->Matches(expected);
}

}  // namespace kav::oss
