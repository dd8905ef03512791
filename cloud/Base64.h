#pragma once
// Standard base64 (RFC 4648, with padding), as the request signature and the release signature
// carry it.
#include <string>
#include <string_view>

namespace kav::oss {

std::string Base64Encode(std::string_view bytes);

// Strict decoding: the standard alphabet only, the length a multiple of four, padding only at the
// end and zero bits under it, no white space. False for anything else.
bool Base64Decode(std::string_view text, std::string& bytes);

}  // namespace kav::oss
