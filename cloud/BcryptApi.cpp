#include "cloud/BcryptApi.h"

#include "system/SafeLibrary.h"

namespace kav::oss {

namespace {

BcryptApi* LoadApi() {
    HMODULE module = LoadSystemLibrary(L"bcrypt.dll");
    if (module == nullptr) return nullptr;
    static BcryptApi api;
    const bool complete = BindLibraryFunction(module, "BCryptOpenAlgorithmProvider", api.OpenAlgorithmProvider) &&
                          BindLibraryFunction(module, "BCryptCloseAlgorithmProvider", api.CloseAlgorithmProvider) &&
                          BindLibraryFunction(module, "BCryptCreateHash", api.CreateHash) &&
                          BindLibraryFunction(module, "BCryptHashData", api.HashData) &&
                          BindLibraryFunction(module, "BCryptFinishHash", api.FinishHash) &&
                          BindLibraryFunction(module, "BCryptDestroyHash", api.DestroyHash) &&
                          BindLibraryFunction(module, "BCryptImportKeyPair", api.ImportKeyPair) &&
                          BindLibraryFunction(module, "BCryptVerifySignature", api.VerifySignature) &&
                          BindLibraryFunction(module, "BCryptDestroyKey", api.DestroyKey);
    return complete ? &api : nullptr;
}

}  // namespace

const BcryptApi* GetBcryptApi() {
    static const BcryptApi* const api = LoadApi();
    return api;
}

}  // namespace kav::oss
