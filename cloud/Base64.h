#pragma once
// Standard base64 (RFC 4648, with padding), as the request signature carries it.
#include <string>
#include <string_view>

namespace kav::oss {

std::string Base64Encode(std::string_view bytes);

}  // namespace kav::oss
