#include "cloud/WinHttpApi.h"

#include "system/SafeLibrary.h"

namespace kav::oss {

namespace {

WinHttpApi* LoadApi() {
    HMODULE module = LoadSystemLibrary(L"winhttp.dll");
    if (module == nullptr) return nullptr;
    static WinHttpApi api;
    const bool complete = BindLibraryFunction(module, "WinHttpOpen", api.Open) && BindLibraryFunction(module, "WinHttpCloseHandle", api.CloseHandle) &&
                          BindLibraryFunction(module, "WinHttpConnect", api.Connect) &&
                          BindLibraryFunction(module, "WinHttpOpenRequest", api.OpenRequest) &&
                          BindLibraryFunction(module, "WinHttpAddRequestHeaders", api.AddRequestHeaders) &&
                          BindLibraryFunction(module, "WinHttpSendRequest", api.SendRequest) &&
                          BindLibraryFunction(module, "WinHttpReceiveResponse", api.ReceiveResponse) &&
                          BindLibraryFunction(module, "WinHttpQueryHeaders", api.QueryHeaders) &&
                          BindLibraryFunction(module, "WinHttpReadData", api.ReadData) &&
                          BindLibraryFunction(module, "WinHttpSetTimeouts", api.SetTimeouts) &&
                          BindLibraryFunction(module, "WinHttpSetOption", api.SetOption) &&
                          BindLibraryFunction(module, "WinHttpGetIEProxyConfigForCurrentUser",
                                              api.GetIEProxyConfigForCurrentUser) &&
                          BindLibraryFunction(module, "WinHttpGetProxyForUrl", api.GetProxyForUrl);
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
