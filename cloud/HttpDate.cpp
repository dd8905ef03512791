#include "cloud/HttpDate.h"

#include <cstdio>

namespace kav::oss {

namespace {
constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kFormat[] = "%s, %02u %s %04u %02u:%02u:%02u GMT";
}  // namespace

std::string FormatHttpDate(const SYSTEMTIME& utc) {
    char text[64] = {};
    const char* day = utc.wDayOfWeek < 7 ? kDayNames[utc.wDayOfWeek] : kDayNames[0];
    const char* month = utc.wMonth >= 1 && utc.wMonth <= 12 ? kMonthNames[utc.wMonth - 1] : kMonthNames[0];
    std::snprintf(text, sizeof text, kFormat, day, static_cast<unsigned>(utc.wDay), month,
                  static_cast<unsigned>(utc.wYear), static_cast<unsigned>(utc.wHour),
                  static_cast<unsigned>(utc.wMinute), static_cast<unsigned>(utc.wSecond));
    return text;
}

std::string HttpDateNow() {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    return FormatHttpDate(now);
}

}  // namespace kav::oss
