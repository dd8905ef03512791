#pragma once
// The storage service's XML error body:
//   <Error><Code>..</Code><Message>..</Message><RequestId>..</RequestId><HostId>..</HostId></Error>
#include <string>
#include <string_view>

namespace kav::oss {

struct ServiceErrorBody {
    std::string code;
    std::string message;
    std::string requestId;
    std::string hostId;
};

// Fills what the body names (XML entities decoded); false when it holds no <Error> element.
bool ParseErrorXml(std::string_view body, ServiceErrorBody& error);

}  // namespace kav::oss
