// A stand-in for the installed trading program, used by tests and the demo in its place.
//
// It writes its command line, current folder and "Path" variable as UTF-8 lines to
// "standin-record.txt" next to its own executable, then stays running until it is terminated,
// for three minutes at most, so that stopping and starting it can be observed.
//
// Record format, one "key=value" line each: commandline, currentdir, path, showwindow (the
// wShowWindow its starter asked for, or "unset" without STARTF_USESHOWWINDOW), pid.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kLifetimeMs = 3 * 60 * 1000;
constexpr wchar_t kRecordName[] = L"standin-record.txt";

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring CurrentFolder() {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    return std::wstring(buffer.data(), n);
}

std::wstring PathVariable() {
    std::vector<wchar_t> buffer(65536, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(L"Path", buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), n < buffer.size() ? n : 0);
}

std::wstring RecordPath() {
    std::vector<wchar_t> self(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    std::wstring path(self.data(), n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + kRecordName;
}

std::string ShowWindowRequest() {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    if ((startup.dwFlags & STARTF_USESHOWWINDOW) == 0) return "unset";
    return std::to_string(startup.wShowWindow);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::string record;
    record += "commandline=" + Utf8(::GetCommandLineW()) + "\r\n";
    record += "currentdir=" + Utf8(CurrentFolder()) + "\r\n";
    record += "path=" + Utf8(PathVariable()) + "\r\n";
    record += "showwindow=" + ShowWindowRequest() + "\r\n";
    record += "pid=" + std::to_string(::GetCurrentProcessId()) + "\r\n";

    HANDLE file = ::CreateFileW(RecordPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    ::Sleep(kLifetimeMs);
    return 0;
}
