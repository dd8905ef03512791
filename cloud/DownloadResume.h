#pragma once
// Resuming a download. After an attempt that ended part way, the next one asks only for the rest
// of the object (Range from the bytes already in the file), on condition that it is still the
// object the file was started from (If-Match on the ETag of that answer). Here: when a download
// may resume, the headers that ask for it, and where an answer's body goes.
#include <cstdint>
#include <string>

namespace kav::oss {

// What the local file holds of the object.
struct ResumePoint {
    std::int64_t received = 0;  // bytes of the object in the file, from its byte 0
    std::int64_t total = -1;    // the whole object's length; -1 when the answer named none
    std::string etag;           // the ETag of the answer that started the file, as sent (quoted)
};

// True when some but not all of the object is in the file and its length and ETag are known: the
// rest can be asked for. Otherwise the next attempt asks for the whole object.
bool CanResume(const ResumePoint& point);

// "Range: bytes=<received>-\r\nIf-Match: <etag>\r\n"; empty when the download cannot resume.
std::string ResumeHeaders(const ResumePoint& point);

// A Content-Range value "bytes <first>-<last>/<total>" (inclusive positions, a known total).
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = 0;
};
// False for anything else, an unknown total ("/*") or positions that do not fit the total.
bool ParseContentRange(const std::string& text, ContentRange& range);

enum class AnswerPlacement {
    Append,       // the body continues the file at its end
    StartOver,    // the body is the whole object: the file is emptied and the body written from byte 0
    StartOverNext,  // the answer cannot continue the file (the object changed, or a part at another
                    // offset): its body is not read, the file is emptied, the next attempt asks for all
    NotABody,     // an error answer, reported as the service's error
};

// Where the answer to a download request goes. resumed: the request asked for the rest from
// point.received (ResumeHeaders was sent). contentRange: the header's text, empty when absent;
// contentLength: -1 when the answer named none.
AnswerPlacement PlaceAnswer(const ResumePoint& point, bool resumed, int status, const std::string& contentRange,
                            std::int64_t contentLength);

}  // namespace kav::oss
