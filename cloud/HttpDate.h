#pragma once
// The Date header of a signed request: RFC 1123 in GMT, "Thu, 10 Dec 2026 12:08:37 GMT".
#include <windows.h>

#include <string>

namespace kav::oss {

std::string FormatHttpDate(const SYSTEMTIME& utc);

// The current time, formatted.
std::string HttpDateNow();

}  // namespace kav::oss
