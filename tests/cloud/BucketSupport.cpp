#include "BucketSupport.h"

#include <winsock2.h>
#include <winhttp.h>

#include <cstdio>

#include "TestSupport.h"
#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "engine/WorkerMessages.h"

namespace kavtest {

namespace {

constexpr wchar_t kRecorderClass[] = L"KavrindelTestMessageRecorder";

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A plain WinHTTP exchange with the control API, independent of the client under test.
bool ControlExchange(const wchar_t* verb, const std::string& action, const std::string& body, std::string& response) {
    const std::string control = Env("KAV_BUCKET_CONTROL");  // http://127.0.0.1:<port>/_kav_control
    const std::string prefix = "http://";
    if (control.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string rest = control.substr(prefix.size());
    const size_t slash = rest.find('/');
    const std::string hostPort = rest.substr(0, slash);
    const std::string path = rest.substr(slash) + "/" + action;
    const size_t colon = hostPort.find(':');
    const std::string host = hostPort.substr(0, colon);
    const INTERNET_PORT port = static_cast<INTERNET_PORT>(std::stoi(hostPort.substr(colon + 1)));

    HINTERNET session = ::WinHttpOpen(L"kavrindel-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = session ? ::WinHttpConnect(session, Wide(host).c_str(), port, 0) : nullptr;
    HINTERNET request = connection ? ::WinHttpOpenRequest(connection, verb, Wide(path).c_str(), nullptr, nullptr,
                                                          nullptr, 0)
                                   : nullptr;
    bool ok = request != nullptr;
    ok = ok && ::WinHttpSendRequest(request, L"Content-Type: application/json\r\n", static_cast<DWORD>(-1L),
                                    const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                                    static_cast<DWORD>(body.size()), 0);
    ok = ok && ::WinHttpReceiveResponse(request, nullptr);
    DWORD status = 0, size = sizeof status;
    ok = ok && ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &status,
                                     &size, nullptr);
    response.clear();
    char chunk[65536];
    DWORD got = 0;
    while (ok && ::WinHttpReadData(request, chunk, sizeof chunk, &got) && got > 0) response.append(chunk, got);
    if (request) ::WinHttpCloseHandle(request);
    if (connection) ::WinHttpCloseHandle(connection);
    if (session) ::WinHttpCloseHandle(session);
    return ok && status == 200;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// A small reader of one JSON object's top-level members (nested values are skipped).
class JsonLine {
public:
    explicit JsonLine(const std::string& text) : t_(text) {}

    bool Member(const std::string& name, std::string& raw) {
        i_ = 0;
        Skip();
        if (i_ >= t_.size() || t_[i_] != '{') return false;
        ++i_;
        while (true) {
            Skip();
            if (i_ >= t_.size() || t_[i_] == '}') return false;
            const std::string key = String();
            Skip();
            if (i_ >= t_.size() || t_[i_] != ':') return false;
            ++i_;
            Skip();
            const size_t start = i_;
            Value();
            if (key == name) {
                raw = t_.substr(start, i_ - start);
                return true;
            }
            Skip();
            if (i_ < t_.size() && t_[i_] == ',') ++i_;
        }
    }

    static std::string Unquote(const std::string& raw) {
        if (raw.size() < 2 || raw.front() != '"') return raw == "null" ? std::string() : raw;
        std::string out;
        for (size_t i = 1; i + 1 < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 2 < raw.size()) {
                const char e = raw[++i];
                if (e == 'n') out += '\n';
                else if (e == 't') out += '\t';
                else if (e == 'u' && i + 4 < raw.size()) {
                    out += static_cast<char>(std::stoi(raw.substr(i + 1, 4), nullptr, 16) & 0xFF);
                    i += 4;
                } else out += e;
            } else {
                out += raw[i];
            }
        }
        return out;
    }

private:
    void Skip() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\r' || t_[i_] == '\n')) ++i_;
    }
    std::string String() {
        const size_t start = i_;
        if (i_ < t_.size() && t_[i_] == '"') {
            ++i_;
            while (i_ < t_.size() && t_[i_] != '"') i_ += t_[i_] == '\\' ? 2 : 1;
            ++i_;
        }
        return Unquote(t_.substr(start, i_ - start));
    }
    void Value() {
        if (i_ >= t_.size()) return;
        if (t_[i_] == '"') {
            String();
            return;
        }
        if (t_[i_] == '{' || t_[i_] == '[') {
            int depth = 0;
            while (i_ < t_.size()) {
                const char c = t_[i_];
                if (c == '"') {
                    String();
                    continue;
                }
                if (c == '{' || c == '[') ++depth;
                if (c == '}' || c == ']') --depth;
                ++i_;
                if (depth == 0) return;
            }
            return;
        }
        while (i_ < t_.size() && t_[i_] != ',' && t_[i_] != '}') ++i_;
    }

    const std::string& t_;
    size_t i_ = 0;
};

std::string WindowsObjectPath(const std::string& key) {
    std::string path = CurrentBucket().root + "\\" + key;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

}  // namespace

BucketAccount CurrentBucket() {
    return BucketAccount{Env("KAV_BUCKET_ENDPOINT"), Env("KAV_BUCKET_NAME"), Env("KAV_BUCKET_KEY_ID"),
                         Env("KAV_BUCKET_KEY_SECRET"), Env("KAV_BUCKET_ROOT")};
}

bool ControlPost(const std::string& action, const std::string& json) {
    std::string response;
    return ControlExchange(L"POST", action, json, response);
}

std::string ControlGet(const std::string& action) {
    std::string response;
    return ControlExchange(L"GET", action, "", response) ? response : std::string();
}

bool AddFault(const std::string& key, const std::string& settings, int count, const char* method) {
    std::string json = "{\"key_hex\": \"" + Hex(key) + "\", \"count\": " + std::to_string(count) + ", " + settings;
    if (method != nullptr) json += std::string(", \"method\": \"") + method + "\"";
    json += "}";
    return ControlPost("faults", json);
}

bool ResetBucket() { return ControlPost("reset", "{}"); }

bool SetLineRate(std::int64_t bytesPerSecond) {
    return ControlPost("rate", "{\"bytes_per_second\": " + std::to_string(bytesPerSecond) + "}");
}

std::vector<LoggedRequest> RequestLog() {
    std::vector<LoggedRequest> entries;
    const std::string text = ControlGet("log");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        JsonLine json(line);
        LoggedRequest r;
        std::string raw;
        if (json.Member("method", raw)) r.method = JsonLine::Unquote(raw);
        if (json.Member("raw_key", raw)) r.rawKey = Unhex(JsonLine::Unquote(raw));
        if (json.Member("query", raw)) r.query = JsonLine::Unquote(raw);
        if (json.Member("request_id", raw)) r.requestId = JsonLine::Unquote(raw);
        if (json.Member("fault", raw)) r.fault = JsonLine::Unquote(raw);
        if (json.Member("status", raw)) r.status = std::atoi(raw.c_str());
        if (json.Member("signature_ok", raw)) r.signatureOk = raw == "true";
        if (json.Member("bytes_sent", raw)) r.bytesSent = std::atoll(raw.c_str());
        if (json.Member("range", raw)) r.range = JsonLine::Unquote(raw);
        if (json.Member("if_match", raw)) r.ifMatch = JsonLine::Unquote(raw);
        if (json.Member("content_range", raw)) r.contentRange = JsonLine::Unquote(raw);
        if (json.Member("headers", raw)) {
            std::string agent;
            if (JsonLine(raw).Member("user-agent", agent)) r.userAgent = JsonLine::Unquote(agent);
        }
        entries.push_back(r);
    }
    return entries;
}

void PutObject(const std::string& key, const std::string& bytes) {
    const std::string path = WindowsObjectPath(key);
    for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1)) {
        ::CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    }
    WriteFileBytes(path, bytes);
}

std::string ReadObject(const std::string& key) { return ReadFileBytes(WindowsObjectPath(key)); }

std::string PseudoRandomBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return bytes;
}

MessageRecorder::MessageRecorder() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MessageRecorder::Procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kRecorderClass;
    ::RegisterClassExW(&wc);
    window_ = ::CreateWindowExW(0, kRecorderClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    MainWindowHandle = window_;
}

MessageRecorder::~MessageRecorder() {
    MainWindowHandle = nullptr;
    ::DestroyWindow(window_);
}

LRESULT CALLBACK MessageRecorder::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MessageRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && (message == WM_INSTALL_PROGRESS || message == WM_INSTALL_DONE ||
                            message == WM_INSTALL_FAILED || message == WM_INSTALL_STEP)) {
        self->messages_.emplace_back(message, lParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void MessageRecorder::Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

std::vector<int> MessageRecorder::Progress() const {
    std::vector<int> values;
    for (const auto& [message, value] : messages_) {
        if (message == WM_INSTALL_PROGRESS) values.push_back(static_cast<int>(value));
    }
    return values;
}

CapturedInstallLog::CapturedInstallLog(const std::string& folder) : folder_(folder) {
    GetInstallSettings().logDir = folder;
    OpenInstallLog();
}

CapturedInstallLog::~CapturedInstallLog() { CloseInstallLog(); }

std::vector<std::string> CapturedInstallLog::Lines() {
    std::vector<std::string> lines;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder_ + "\\*install.log").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return lines;
    ::FindClose(find);
    const std::string text = ReadFileBytes(folder_ + "\\" + found.cFileName);
    constexpr size_t kStampLength = 16;  // "[hh:mm:ss mmm]\t\t"
    size_t start = 0;
    int skipped = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        if (skipped < 2) {
            ++skipped;
            continue;
        }
        lines.push_back(line.size() >= kStampLength ? line.substr(kStampLength) : line);
    }
    return lines;
}

unsigned short UnusedLoopbackPort() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(s);
    return ntohs(address.sin_port);
}

kav::oss::ClientConfiguration FastConfiguration(long requestTimeoutMs) {
    kav::oss::ClientConfiguration c;
    c.connectTimeoutMs = 2000;
    c.requestTimeoutMs = requestTimeoutMs;
    c.retryScaleMs = 20;
    return c;
}

}  // namespace kavtest
