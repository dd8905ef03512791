#pragma once
// The WinHTTP functions the storage client calls, looked up at run time in the System32 copy of
// winhttp.dll (the installer's import table names only KnownDLLs), and an owner for HINTERNET.
#include <windows.h>
#include <winhttp.h>

namespace kav::oss {

struct WinHttpApi {
    decltype(&::WinHttpOpen) Open = nullptr;
    decltype(&::WinHttpCloseHandle) CloseHandle = nullptr;
    decltype(&::WinHttpConnect) Connect = nullptr;
    decltype(&::WinHttpOpenRequest) OpenRequest = nullptr;
    decltype(&::WinHttpAddRequestHeaders) AddRequestHeaders = nullptr;
    decltype(&::WinHttpSendRequest) SendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) ReceiveResponse = nullptr;
    decltype(&::WinHttpQueryHeaders) QueryHeaders = nullptr;
    decltype(&::WinHttpReadData) ReadData = nullptr;
    decltype(&::WinHttpSetTimeouts) SetTimeouts = nullptr;
    decltype(&::WinHttpSetOption) SetOption = nullptr;
    decltype(&::WinHttpGetIEProxyConfigForCurrentUser) GetIEProxyConfigForCurrentUser = nullptr;
    decltype(&::WinHttpGetProxyForUrl) GetProxyForUrl = nullptr;
};

// The functions, loaded on first use; null when winhttp.dll or one of them is missing.
const WinHttpApi* GetWinHttpApi();

// Owns one HINTERNET (session, connection or request).
class UniqueInternet {
public:
    UniqueInternet() noexcept = default;
    explicit UniqueInternet(HINTERNET handle) noexcept : handle_(handle) {}
    ~UniqueInternet() { Reset(); }
    UniqueInternet(const UniqueInternet&) = delete;
    UniqueInternet& operator=(const UniqueInternet&) = delete;
    UniqueInternet(UniqueInternet&& other) noexcept : handle_(other.Release()) {}
    UniqueInternet& operator=(UniqueInternet&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    HINTERNET Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    HINTERNET Release() noexcept {
        HINTERNET h = handle_;
        handle_ = nullptr;
        return h;
    }
    void Reset(HINTERNET handle = nullptr) noexcept;

private:
    HINTERNET handle_ = nullptr;
};

}  // namespace kav::oss
