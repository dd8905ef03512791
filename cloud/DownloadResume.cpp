#include "cloud/DownloadResume.h"

#include <climits>

namespace kav::oss {

namespace {

constexpr int kStatusOk = 200;
constexpr int kStatusPartialContent = 206;
constexpr int kStatusPreconditionFailed = 412;
constexpr int kStatusRangeNotSatisfiable = 416;
constexpr int kFirstSuccessStatus = 200;
constexpr int kLastSuccessStatus = 299;
constexpr char kRangeUnit[] = "bytes ";

// Reads a decimal number without sign at text[at]; advances at. False without a digit or beyond 63 bits.
bool ReadNumber(const std::string& text, size_t& at, std::int64_t& value) {
    const size_t start = at;
    value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (value > (INT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return at > start;
}

bool Expect(const std::string& text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

}  // namespace

bool CanResume(const ResumePoint& point) {
    return point.received > 0 && point.total > point.received && !point.etag.empty();
}

std::string ResumeHeaders(const ResumePoint& point) {
    if (!CanResume(point)) return std::string();
    return "Range: bytes=" + std::to_string(point.received) + "-\r\nIf-Match: " + point.etag + "\r\n";
}

bool ParseContentRange(const std::string& text, ContentRange& range) {
    const std::string unit = kRangeUnit;
    if (text.compare(0, unit.size(), unit) != 0) return false;
    size_t at = unit.size();
    ContentRange r;
    if (!ReadNumber(text, at, r.first) || !Expect(text, at, '-') || !ReadNumber(text, at, r.last) ||
        !Expect(text, at, '/') || !ReadNumber(text, at, r.total) || at != text.size()) {
        return false;
    }
    if (r.first > r.last || r.last >= r.total) return false;
    range = r;
    return true;
}

AnswerPlacement PlaceAnswer(const ResumePoint& point, bool resumed, int status, const std::string& contentRange,
                            std::int64_t contentLength) {
    if (status < kFirstSuccessStatus || status > kLastSuccessStatus) {
        // Asked for the rest of an object that has changed since (or shrunk below the file): the
        // bytes in the file belong to another version, so the file starts over.
        if (resumed && (status == kStatusPreconditionFailed || status == kStatusRangeNotSatisfiable)) {
            return AnswerPlacement::StartOverNext;
        }
        return AnswerPlacement::NotABody;
    }
    if (status != kStatusPartialContent) {
        // 200 (a range ignored, or none asked): the whole object.
        return status == kStatusOk || !resumed ? AnswerPlacement::StartOver : AnswerPlacement::StartOverNext;
    }
    ContentRange range;
    if (!ParseContentRange(contentRange, range)) return AnswerPlacement::StartOverNext;
    const std::int64_t partLength = range.last - range.first + 1;
    // A part must reach the object's end and be as long as the answer says.
    if (range.last != range.total - 1 || (contentLength >= 0 && contentLength != partLength)) {
        return AnswerPlacement::StartOverNext;
    }
    if (range.first == 0) return AnswerPlacement::StartOver;  // the whole object, as a part
    if (resumed && range.first == point.received && range.total == point.total) return AnswerPlacement::Append;
    return AnswerPlacement::StartOverNext;
}

}  // namespace kav::oss
