#include "cloud/Endpoint.h"

#include "cloud/PercentEncoding.h"

namespace kav::oss {

namespace {

constexpr std::string_view kHttpScheme = "http://";
constexpr std::string_view kHttpsScheme = "https://";
constexpr unsigned short kHttpPort = 80;
constexpr unsigned short kHttpsPort = 443;
constexpr unsigned kMaxPort = 65535;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool IsIpv4(std::string_view host) {
    int parts = 0;
    size_t i = 0;
    while (i <= host.size()) {
        size_t digits = 0;
        unsigned value = 0;
        while (i < host.size() && host[i] >= '0' && host[i] <= '9') {
            value = value * 10 + static_cast<unsigned>(host[i] - '0');
            ++digits;
            ++i;
            if (digits > 3) return false;
        }
        if (digits == 0 || value > 255) return false;
        ++parts;
        if (i == host.size()) break;
        if (host[i] != '.') return false;
        ++i;
    }
    return parts == 4;
}

}  // namespace

bool IsIpAddress(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return true;
    return IsIpv4(host);
}

bool ParseEndpoint(std::string_view text, Endpoint& endpoint) {
    endpoint = Endpoint{};
    if (StartsWithNoCase(text, kHttpsScheme)) {
        endpoint.secure = true;
        text.remove_prefix(kHttpsScheme.size());
    } else if (StartsWithNoCase(text, kHttpScheme)) {
        text.remove_prefix(kHttpScheme.size());
    } else if (text.find("://") != std::string_view::npos) {
        return false;
    }
    while (!text.empty() && text.back() == '/') text.remove_suffix(1);
    if (text.find('/') != std::string_view::npos) return false;

    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(0, close + 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
            if (port.empty()) return false;
        }
    } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) return false;
    }
    if (host.empty()) return false;

    endpoint.port = endpoint.secure ? kHttpsPort : kHttpPort;
    if (!port.empty()) {
        unsigned value = 0;
        for (const char c : port) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > kMaxPort) return false;
        }
        if (value == 0) return false;
        endpoint.port = static_cast<unsigned short>(value);
    }
    endpoint.host = std::string(host);
    endpoint.isIpAddress = IsIpAddress(host);
    return true;
}

RequestTarget TargetFor(const Endpoint& endpoint, std::string_view bucket, std::string_view key,
                        std::string_view subresource) {
    RequestTarget target;
    target.port = endpoint.port;
    target.secure = endpoint.secure;
    if (endpoint.isIpAddress) {
        target.host = endpoint.host;
        target.path = "/";
        target.path.append(bucket);
    } else {
        target.host = std::string(bucket) + "." + endpoint.host;
    }
    target.path += "/";
    target.path += PercentEncodeObjectKey(key);
    if (!subresource.empty()) target.path.append("?").append(subresource);
    return target;
}

}  // namespace kav::oss
