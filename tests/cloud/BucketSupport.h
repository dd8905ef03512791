#pragma once
// What the tests against the local bucket share: the bucket's account and control API (from the
// KAV_BUCKET_* variables of the test runner), its request log, objects placed in its folder, a
// hidden window that records the install messages, and the install log's lines.
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cloud/ClientConfiguration.h"

namespace kavtest {

struct BucketAccount {
    std::string endpoint;  // 127.0.0.1:<port>
    std::string bucket;
    std::string keyId;
    std::string keySecret;
    std::string root;  // the bucket's folder as a Windows path
};

// Empty endpoint when the test does not run under the bucket runner.
BucketAccount CurrentBucket();

// POST <control>/<action> with a JSON body; true on 200.
bool ControlPost(const std::string& action, const std::string& json);
// GET <control>/<action>; the body, empty on failure.
std::string ControlGet(const std::string& action);

// Faults for one object key (given as raw bytes): settings are the fault's JSON members without braces,
// for instance "\"status\": 503".
bool AddFault(const std::string& key, const std::string& settings, int count, const char* method = nullptr);
bool ResetBucket();  // clears faults and the request log
bool SetLineRate(std::int64_t bytesPerSecond);

struct LoggedRequest {
    std::string method;
    std::string rawKey;  // the key's bytes
    std::string query;
    std::string requestId;
    std::string fault;  // empty when none
    int status = 0;
    bool signatureOk = false;
    std::int64_t bytesSent = 0;  // bytes of this answer's body
    std::string userAgent;
    std::string range;         // the request's Range header; empty when none
    std::string ifMatch;       // the request's If-Match header; empty when none
    std::string contentRange;  // the answer's Content-Range (a 206); empty otherwise
};
std::vector<LoggedRequest> RequestLog();

// Writes an object into the bucket's folder (folders made as needed).
void PutObject(const std::string& key, const std::string& bytes);
std::string ReadObject(const std::string& key);
std::string PseudoRandomBytes(size_t size, unsigned seed);

// A message-only window set as MainWindowHandle that records every WM_INSTALL_* message posted to it.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // Delivers what has been posted so far.
    void Pump();
    // (message, lParam) in the order posted.
    const std::vector<std::pair<UINT, LPARAM>>& Messages() const { return messages_; }
    std::vector<int> Progress() const;
    void Clear() { messages_.clear(); }

private:
    static LRESULT CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    std::vector<std::pair<UINT, LPARAM>> messages_;
};

// Opens the install log in a folder of the test; Lines() gives the lines written after the two
// opening lines, without their time stamps.
class CapturedInstallLog {
public:
    explicit CapturedInstallLog(const std::string& folder);
    ~CapturedInstallLog();
    std::vector<std::string> Lines();

private:
    std::string folder_;
};

// A loopback port on which nothing listens (bound once, then released).
unsigned short UnusedLoopbackPort();

// A configuration that fails fast: short waits, quick retries.
kav::oss::ClientConfiguration FastConfiguration(long requestTimeoutMs = 1500);

}  // namespace kavtest
