#pragma once
// The object key as it goes into the request line: every byte outside the unreserved set
// (A-Z a-z 0-9 - _ . ~) and the folder separator '/' becomes %XX with upper-case hex. The key's
// bytes are taken as they are (GBK names stay GBK): nothing is converted to UTF-8 first.
#include <string>
#include <string_view>

namespace kav::oss {

std::string PercentEncodeObjectKey(std::string_view key);

}  // namespace kav::oss
