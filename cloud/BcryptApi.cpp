#include "cloud/BcryptApi.h"

#include "system/SafeLibrary.h"

namespace kav::oss {

namespace {

template <typename Function>
bool Bind(HMODULE module, const char* name, Function& slot) {
    slot = GetLibraryFunction<Function>(module, name);
    return slot != nullptr;
}

BcryptApi* LoadApi() {
    HMODULE module = LoadSystemLibrary(L"bcrypt.dll");
    if (module == nullptr) return nullptr;
    static BcryptApi api;
    const bool complete = Bind(module, "BCryptOpenAlgorithmProvider", api.OpenAlgorithmProvider) &&
                          Bind(module, "BCryptCloseAlgorithmProvider", api.CloseAlgorithmProvider) &&
                          Bind(module, "BCryptCreateHash", api.CreateHash) &&
                          Bind(module, "BCryptHashData", api.HashData) &&
                          Bind(module, "BCryptFinishHash", api.FinishHash) &&
                          Bind(module, "BCryptDestroyHash", api.DestroyHash);
    return complete ? &api : nullptr;
}

}  // namespace

const BcryptApi* GetBcryptApi() {
    static const BcryptApi* const api = LoadApi();
    return api;
}

}  // namespace kav::oss
