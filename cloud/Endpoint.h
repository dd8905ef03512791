#pragma once
// Where a request goes: the endpoint's scheme, host and port, and the addressing style. An
// endpoint without a scheme is reached over plain HTTP; "https://" selects HTTPS. An IP address
// is addressed path-style (/<bucket>/<key>), a host name virtual-hosted (<bucket>.<host>/<key>).
#include <string>
#include <string_view>

namespace kav::oss {

struct Endpoint {
    bool secure = false;
    std::string host;  // without port; an IPv6 literal keeps its brackets
    unsigned short port = 0;
    bool isIpAddress = false;
};

// False for an empty host, an unknown scheme or a port that is not 1..65535.
bool ParseEndpoint(std::string_view text, Endpoint& endpoint);

struct RequestTarget {
    std::string host;  // the host to connect to and name in the Host header
    unsigned short port = 0;
    bool secure = false;
    std::string path;  // percent-encoded path with the query
};

RequestTarget TargetFor(const Endpoint& endpoint, std::string_view bucket, std::string_view key,
                        std::string_view subresource);

bool IsIpAddress(std::string_view host);

}  // namespace kav::oss
