#include "cloud/WinHttpApi.h"

#include "system/SafeLibrary.h"

namespace kav::oss {

namespace {

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& slot) {
    slot = GetLibraryFunction<Function>(module, name);
    return slot != nullptr;
}

WinHttpApi* LoadApi() {
    HMODULE module = LoadSystemLibrary(L"winhttp.dll");
    if (module == nullptr) return nullptr;
    static WinHttpApi api;
    const bool complete = Bind(module, "WinHttpOpen", api.Open) && Bind(module, "WinHttpCloseHandle", api.CloseHandle) &&
                          Bind(module, "WinHttpConnect", api.Connect) &&
                          Bind(module, "WinHttpOpenRequest", api.OpenRequest) &&
                          Bind(module, "WinHttpAddRequestHeaders", api.AddRequestHeaders) &&
                          Bind(module, "WinHttpSendRequest", api.SendRequest) &&
                          Bind(module, "WinHttpReceiveResponse", api.ReceiveResponse) &&
                          Bind(module, "WinHttpQueryHeaders", api.QueryHeaders) &&
                          Bind(module, "WinHttpReadData", api.ReadData) &&
                          Bind(module, "WinHttpSetTimeouts", api.SetTimeouts) &&
                          Bind(module, "WinHttpSetOption", api.SetOption);
    return complete ? &api : nullptr;
}

}  // namespace

const WinHttpApi* GetWinHttpApi() {
    static const WinHttpApi* const api = LoadApi();
    return api;
}

void UniqueInternet::Reset(HINTERNET handle) noexcept {
    if (handle_ != nullptr) {
        if (const WinHttpApi* api = GetWinHttpApi()) api->CloseHandle(handle_);
    }
    handle_ = handle;
}

}  // namespace kav::oss
