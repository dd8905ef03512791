// Download throughput of the storage client against a bare WinHTTP read loop, and the process's
// peak working set. Run by bench/download/run, which starts the local bucket.
//
//   download_bench bare   <endpoint> <bucket> <key> <keyId> <secret>
//   download_bench client <endpoint> <bucket> <key> <keyId> <secret> <output file> [<sha256 hex>]
//   download_bench parts  <output file>
//
// bare and client print one line: "<mode> bytes=<n> seconds=<s> mbps=<MB/s> peak_ws_mib=<MiB>
// floor_ws_mib=<MiB> progress_calls=<n>": floor_ws_mib is the working set on entry to main, what
// an empty program already has (under Wine it counts Wine's own libraries). With a SHA-256 the
// client checks the body's digest as a signed release's package is checked.
// parts prints the throughput of the pieces of the client's work on one core (CRC-64, CNG's SHA-256,
// file writes) and of all three in turn per block, each over 1 GiB in memory.
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cloud/Crc64.h"
#include "cloud/FileResponseStream.h"
#include "cloud/HttpDate.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "cloud/Sha256.h"
#include "cloud/Signature.h"
#include "engine/WorkerMessages.h"

namespace {

constexpr DWORD kReadBytes = 256 * 1024;  // the same block size as the client's
constexpr double kMegabyte = 1000.0 * 1000.0;

constexpr double kMebibyte = 1024.0 * 1024.0;
constexpr long long kPartsBytes = 1LL << 30;
constexpr size_t kSha256HexDigits = 64;

std::atomic<long> g_progressMessages{0};

PROCESS_MEMORY_COUNTERS MemoryCounters() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

double PeakWorkingSetMiB() { return MemoryCounters().PeakWorkingSetSize / kMebibyte; }

// Taken before anything else runs.
const double g_floorWorkingSetMiB = MemoryCounters().WorkingSetSize / kMebibyte;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void Report(const char* mode, long long bytes, double seconds, long calls) {
    std::printf("%s bytes=%lld seconds=%.3f mbps=%.1f peak_ws_mib=%.1f floor_ws_mib=%.1f progress_calls=%ld\n", mode,
                bytes, seconds, bytes / seconds / kMegabyte, PeakWorkingSetMiB(), g_floorWorkingSetMiB, calls);
    std::fflush(stdout);
}

// The dialog stand-in: a window on its own thread that takes the progress messages, like the
// installer's dialog does while the worker downloads.
class ProgressWindow {
public:
    ProgressWindow() {
        thread_ = std::thread([this] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                if (m == WM_INSTALL_PROGRESS) {
                    ++g_progressMessages;
                    return 0;
                }
                return ::DefWindowProcW(w, m, wp, lp);
            };
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"KavrindelBenchProgress";
            ::RegisterClassW(&wc);
            HWND window = ::CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
            MainWindowHandle = window;
            threadId_ = ::GetCurrentThreadId();
            ready_ = true;
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
            ::DestroyWindow(window);
        });
        while (!ready_) ::Sleep(1);
    }
    ~ProgressWindow() {
        // Let the queue drain, then end the loop.
        ::Sleep(200);
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }

private:
    std::thread thread_;
    std::atomic<bool> ready_{false};
    std::atomic<DWORD> threadId_{0};
};

int Bare(const std::string& endpoint, const std::string& bucket, const std::string& key, const std::string& keyId,
         const std::string& secret) {
    kav::oss::InitializeSdk();  // the signature's HMAC provider
    const size_t colon = endpoint.find(':');
    const std::string host = endpoint.substr(0, colon);
    const INTERNET_PORT port = static_cast<INTERNET_PORT>(std::stoi(endpoint.substr(colon + 1)));
    HINTERNET session = ::WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = ::WinHttpConnect(session, Wide(host).c_str(), port, 0);
    const std::string path = "/" + bucket + "/" + key;
    HINTERNET request = ::WinHttpOpenRequest(connection, L"GET", Wide(path).c_str(), nullptr, nullptr, nullptr, 0);
    const std::string date = kav::oss::HttpDateNow();
    kav::oss::SignedRequest toSign{"GET", "", "", date, bucket, key, ""};
    const std::string headers =
        "Date: " + date + "\r\nAuthorization: " + kav::oss::AuthorizationHeaderValue(keyId, secret, toSign) + "\r\n";
    const ULONGLONG start = ::GetTickCount64();
    if (!::WinHttpSendRequest(request, Wide(headers).c_str(), static_cast<DWORD>(-1L), nullptr, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request, nullptr)) {
        std::printf("bare request failed: %lu\n", ::GetLastError());
        return 1;
    }
    DWORD status = 0, size = sizeof status;
    ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &status, &size,
                          nullptr);
    if (status != 200) {
        std::printf("bare request answered %lu\n", status);
        return 1;
    }
    std::vector<char> buffer(kReadBytes);
    long long total = 0;
    DWORD got = 0;
    while (::WinHttpReadData(request, buffer.data(), kReadBytes, &got) && got > 0) total += got;
    const double seconds = (::GetTickCount64() - start) / 1000.0;
    ::WinHttpCloseHandle(request);
    ::WinHttpCloseHandle(connection);
    ::WinHttpCloseHandle(session);
    Report("bare", total, seconds, 0);
    return 0;
}

bool ParseSha256(const std::string& hex, kav::oss::Sha256Digest& digest) {
    if (hex.size() != kSha256HexDigits) return false;
    for (size_t i = 0; i < digest.size(); ++i) {
        char* end = nullptr;
        const std::string pair = hex.substr(2 * i, 2);
        digest[i] = static_cast<unsigned char>(std::strtoul(pair.c_str(), &end, 16));
        if (end != pair.c_str() + 2) return false;
    }
    return true;
}

int Client(const std::string& endpoint, const std::string& bucket, const std::string& key, const std::string& keyId,
           const std::string& secret, const std::string& output, const char* sha256Hex) {
    kav::oss::InitializeSdk();
    ProgressWindow window;
    IClient client;
    client.downloadsExpected = 5;
    kav::oss::OssClient oss(endpoint, keyId, secret, kav::oss::ClientConfiguration());
    kav::oss::GetObjectRequest request(bucket, key);
    request.setResponseStreamFactory([output] { return kav::oss::FileResponseStream::Open(output); });
    request.setTransferProgress({&OnTransferProgress, &client});
    if (sha256Hex != nullptr) {
        kav::oss::Sha256Digest digest{};
        if (!ParseSha256(sha256Hex, digest)) {
            std::printf("client: not a SHA-256: %s\n", sha256Hex);
            return 2;
        }
        request.setExpectedSha256(digest);
    }
    const ULONGLONG start = ::GetTickCount64();
    kav::oss::GetObjectOutcome outcome = oss.GetObject(request);
    outcome.content.reset();
    const double seconds = (::GetTickCount64() - start) / 1000.0;
    if (!outcome.success) {
        std::printf("client failed: %s %s\n", outcome.error.code.c_str(), outcome.error.message.c_str());
        return 1;
    }
    Report("client", outcome.contentLength, seconds, g_progressMessages.load());
    kav::oss::ShutdownSdk();
    return 0;
}

double Throughput(const std::function<void()>& piece, long long bytes) {
    const ULONGLONG start = ::GetTickCount64();
    for (long long done = 0; done < bytes; done += kReadBytes) piece();
    const double seconds = std::max<ULONGLONG>(::GetTickCount64() - start, 1) / 1000.0;
    return bytes / seconds / kMegabyte;
}

int Parts(const std::string& output) {
    kav::oss::InitializeSdk();
    std::vector<char> buffer(kReadBytes);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<char>(i * 7 + (i >> 9));
    std::uint64_t crc = 0;
    const double crcRate = Throughput([&] { crc = kav::oss::Crc64Update(crc, buffer.data(), buffer.size()); }, kPartsBytes);
    kav::oss::Sha256 hash;
    const double shaRate = Throughput([&] { hash.Update(buffer.data(), buffer.size()); }, kPartsBytes);
    std::unique_ptr<kav::oss::ResponseStream> file = kav::oss::FileResponseStream::Open(output);
    if (!file || !hash.Valid()) {
        std::printf("parts: cannot open %s or CNG's SHA-256\n", output.c_str());
        return 1;
    }
    const double writeRate = Throughput([&] { file->Write(buffer.data(), buffer.size()); }, kPartsBytes);
    // A block's checks and write in turn, as the client's calling thread does them: the ceiling of
    // the client whatever the network gives.
    kav::oss::Sha256 inTurn;
    const double inTurnRate = Throughput(
        [&] {
            inTurn.Update(buffer.data(), buffer.size());
            crc = kav::oss::Crc64Update(crc, buffer.data(), buffer.size());
            file->Write(buffer.data(), buffer.size());
        },
        kPartsBytes);
    std::printf("parts crc64_mbps=%.1f sha256_mbps=%.1f write_mbps=%.1f all_in_turn_mbps=%.1f\n", crcRate, shaRate,
                writeRate, inTurnRate);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 7 && std::strcmp(argv[1], "bare") == 0) return Bare(argv[2], argv[3], argv[4], argv[5], argv[6]);
    if (argc >= 8 && std::strcmp(argv[1], "client") == 0) {
        return Client(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argc >= 9 ? argv[8] : nullptr);
    }
    if (argc >= 3 && std::strcmp(argv[1], "parts") == 0) return Parts(argv[2]);
    std::printf("usage: download_bench bare|client <endpoint> <bucket> <key> <keyId> <secret> [output [sha256]]\n"
                "       download_bench parts <output>\n");
    return 2;
}
