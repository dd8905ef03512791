#include "cloud/AccountText.h"

namespace kav {

void SplitAccountText(std::string_view text, const int (&secretPositions)[kSecretPositionCount], std::string& keyId,
                      std::string& keySecret) {
    std::string remaining(text.substr(0, kAccountFillerStart));
    if (text.size() > kAccountFillerStart + kAccountFillerLength) {
        remaining.append(text.substr(kAccountFillerStart + kAccountFillerLength));
    }
    bool isSecret[kAccountPositions] = {};
    for (const int position : secretPositions) {
        if (position >= 0 && static_cast<std::size_t>(position) < kAccountPositions) isSecret[position] = true;
    }
    for (std::size_t i = 0; i < remaining.size() && i < kAccountPositions; ++i) {
        (isSecret[i] ? keySecret : keyId) += remaining[i];
    }
}

}  // namespace kav
