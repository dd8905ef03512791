#include "cloud/OssSdk.h"

#include <memory>
#include <mutex>

#include "cloud/BcryptApi.h"
#include "cloud/ClientConfiguration.h"
#include "cloud/ProxySessions.h"
#include "cloud/WinHttpApi.h"
#include "system/TextCodec.h"

namespace kav::oss {

namespace {

constexpr size_t kUserAgentUnits = 256;

struct SdkState {
    std::mutex lock;
    bool initialized = false;
    UniqueInternet session;
    std::unique_ptr<ProxySessions> proxies;  // uses session, so released before it
    BCRYPT_ALG_HANDLE hmacProvider = nullptr;
};

SdkState& State() {
    // Never destroyed: a worker may still be inside a request while the process ends.
    static SdkState* const state = new SdkState();
    return *state;
}

}  // namespace

void InitializeSdk() {
    SdkState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.initialized) return;
    const WinHttpApi* http = GetWinHttpApi();
    const BcryptApi* crypto = GetBcryptApi();
    if (http == nullptr || crypto == nullptr) return;

    const std::wstring agent = WideFromNarrow(DefaultUserAgent().c_str(), CP_ACP, kUserAgentUnits);
    UniqueInternet session(http->Open(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return;
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (crypto->OpenAlgorithmProvider(&provider, BCRYPT_SHA1_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG) < 0) {
        return;
    }
    state.session = std::move(session);
    state.proxies = std::make_unique<ProxySessions>(*http, state.session.Get(), agent);
    state.hmacProvider = provider;
    state.initialized = true;
}

void ShutdownSdk() {
    SdkState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.initialized) return;
    state.proxies.reset();
    state.session.Reset();
    if (const BcryptApi* crypto = GetBcryptApi()) crypto->CloseAlgorithmProvider(state.hmacProvider, 0);
    state.hmacProvider = nullptr;
    state.initialized = false;
}

bool IsSdkInitialized() {
    SdkState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.initialized;
}

HINTERNET SdkSession() {
    SdkState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.session.Get();
}

HINTERNET SdkSessionFor(const ProxyTarget& target, std::wstring& proxy) {
    proxy.clear();
    SdkState& state = State();
    // Held while the route is decided, so ShutdownSdk cannot release the sessions meanwhile.
    std::lock_guard<std::mutex> guard(state.lock);
    return state.proxies ? state.proxies->SessionFor(target, proxy) : nullptr;
}

BCRYPT_ALG_HANDLE SdkHmacProvider() {
    SdkState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.hmacProvider;
}

}  // namespace kav::oss
