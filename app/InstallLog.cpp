#include "app/InstallLog.h"

#include <cstdio>
#include <mutex>

#include "app/InstallSettings.h"
#include "system/Folders.h"

namespace kav {

namespace {

constexpr size_t kStampBufferBytes = 260;
constexpr char kLogFileTimeFormat[] = "%02d%02d%02d%03d";
constexpr char kLogFileSuffix[] = "install.log";
constexpr char kLinePrefixFormat[] = "[%02d:%02d:%02d %03d]\t\t";
constexpr char kLineEnd[] = "\r\n";

// The log's state lives for the whole process: the entry point may close the log at exit while a
// worker still writes, and neither may then find the lock gone.
struct LogState {
    std::mutex lock;
    FILE* file = nullptr;
    std::string path;        // the open (or set-aside) log file
    bool setAside = false;   // closed for a while; lines wait in pending
    std::string pending;
};

LogState& State() {
    static LogState* const state = new LogState();
    return *state;
}

}  // namespace

std::string LogFileNameFor(const SYSTEMTIME& time) {
    char stamp[kStampBufferBytes] = {};
    std::snprintf(stamp, sizeof stamp, kLogFileTimeFormat, time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds);
    return std::string(stamp) + kLogFileSuffix;
}

std::string LogLinePrefixFor(const SYSTEMTIME& time) {
    char prefix[kStampBufferBytes] = {};
    std::snprintf(prefix, sizeof prefix, kLinePrefixFormat, time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds);
    return prefix;
}

}  // namespace kav

void OpenInstallLog() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const std::string path = GetInstallSettings().logDir + "\\" + kav::LogFileNameFor(now);
    MakeDirectoryPath(path.c_str());
    {
        kav::LogState& state = kav::State();
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.file != nullptr) std::fclose(state.file);
        state.file = std::fopen(path.c_str(), "wb");
        state.path = state.file != nullptr ? path : std::string();
        state.setAside = false;
        state.pending.clear();
    }
    WriteLogLine(kav::kLogVersionLine);
    WriteLogLine(kav::kLogStartLine);
}

void WriteLogLine(const char* text) {
    if (text == nullptr) return;
    kav::LogState& state = kav::State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.file == nullptr && !state.setAside) return;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    std::string line = kav::LogLinePrefixFor(now);
    line += text;
    line += kav::kLineEnd;
    if (state.setAside) {
        state.pending += line;
        return;
    }
    std::fwrite(line.data(), 1, line.size(), state.file);
    std::fflush(state.file);
}

void CloseInstallLog() {
    kav::LogState& state = kav::State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.file != nullptr) std::fclose(state.file);
    state.file = nullptr;
    state.path.clear();
    state.setAside = false;
    state.pending.clear();
}

std::string SetInstallLogAside() {
    kav::LogState& state = kav::State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.file == nullptr) return {};
    std::fclose(state.file);
    state.file = nullptr;
    state.setAside = true;
    return state.path;
}

void ResumeInstallLog(const std::string& path) {
    kav::LogState& state = kav::State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.setAside) return;
    state.setAside = false;
    state.file = std::fopen(path.c_str(), "ab");
    state.path = state.file != nullptr ? path : std::string();
    if (state.file != nullptr) {
        std::fwrite(state.pending.data(), 1, state.pending.size(), state.file);
        std::fflush(state.file);
    }
    state.pending.clear();
}
