#include "cloud/ErrorXml.h"

namespace kav::oss {

namespace {

struct Entity {
    std::string_view name;
    char value;
};
constexpr Entity kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};

std::string DecodeText(std::string_view text) {
    // CDATA carries its text as it is.
    constexpr std::string_view kCdataOpen = "<![CDATA[";
    constexpr std::string_view kCdataClose = "]]>";
    if (text.substr(0, kCdataOpen.size()) == kCdataOpen && text.size() >= kCdataOpen.size() + kCdataClose.size() &&
        text.substr(text.size() - kCdataClose.size()) == kCdataClose) {
        return std::string(text.substr(kCdataOpen.size(), text.size() - kCdataOpen.size() - kCdataClose.size()));
    }
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            bool matched = false;
            for (const Entity& e : kEntities) {
                if (text.substr(i, e.name.size()) == e.name) {
                    out += e.value;
                    i += e.name.size();
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
        }
        out += text[i++];
    }
    return out;
}

// The text of the first <name>...</name> within the element body; false when absent.
bool ElementText(std::string_view xml, std::string_view name, std::string& value) {
    const std::string open = "<" + std::string(name) + ">";
    const std::string close = "</" + std::string(name) + ">";
    const size_t start = xml.find(open);
    if (start == std::string_view::npos) {
        // An empty element written as <Name/>.
        if (xml.find("<" + std::string(name) + "/>") != std::string_view::npos) {
            value.clear();
            return true;
        }
        return false;
    }
    const size_t textStart = start + open.size();
    const size_t end = xml.find(close, textStart);
    if (end == std::string_view::npos) return false;
    value = DecodeText(xml.substr(textStart, end - textStart));
    return true;
}

}  // namespace

bool ParseErrorXml(std::string_view body, ServiceErrorBody& error) {
    error = ServiceErrorBody{};
    const size_t open = body.find("<Error>");
    if (open == std::string_view::npos) return false;
    const size_t close = body.find("</Error>", open);
    const std::string_view element =
        body.substr(open, close == std::string_view::npos ? std::string_view::npos : close - open);
    ElementText(element, "Code", error.code);
    ElementText(element, "Message", error.message);
    ElementText(element, "RequestId", error.requestId);
    ElementText(element, "HostId", error.hostId);
    return true;
}

}  // namespace kav::oss
