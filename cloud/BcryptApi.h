#pragma once
// The CNG functions used for HMAC-SHA1, SHA-256 and ECDSA verification, looked up at run time in
// the System32 copy of bcrypt.dll.
#include <windows.h>
#include <bcrypt.h>

namespace kav::oss {

struct BcryptApi {
    decltype(&::BCryptOpenAlgorithmProvider) OpenAlgorithmProvider = nullptr;
    decltype(&::BCryptCloseAlgorithmProvider) CloseAlgorithmProvider = nullptr;
    decltype(&::BCryptCreateHash) CreateHash = nullptr;
    decltype(&::BCryptHashData) HashData = nullptr;
    decltype(&::BCryptFinishHash) FinishHash = nullptr;
    decltype(&::BCryptDestroyHash) DestroyHash = nullptr;
    decltype(&::BCryptImportKeyPair) ImportKeyPair = nullptr;
    decltype(&::BCryptVerifySignature) VerifySignature = nullptr;
    decltype(&::BCryptDestroyKey) DestroyKey = nullptr;
};

// The functions, loaded on first use; null when bcrypt.dll or one of them is missing.
const BcryptApi* GetBcryptApi();

// The HMAC-SHA1 provider opened by InitializeSdk; null outside InitializeSdk/ShutdownSdk.
BCRYPT_ALG_HANDLE SdkHmacProvider();

}  // namespace kav::oss
