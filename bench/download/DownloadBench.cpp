// Download throughput of the storage client against a bare WinHTTP read loop, and the process's
// peak working set. Run by bench/download/run, which starts the local bucket.
//
//   download_bench bare   <endpoint> <bucket> <key> <keyId> <secret>
//   download_bench client <endpoint> <bucket> <key> <keyId> <secret> <output file> [<sha256 hex>]
//
// With a SHA-256 the client checks it beside the CRC-64, as the installer does for every package.
//
//   download_bench hashes
//
// Hashes 256 MiB in memory, in the client's 256 KiB blocks, with the CRC-64 and with CNG's SHA-256:
// one line per checksum, "<name> bytes=<n> seconds=<s> mbps=<MB/s>".
//
// Prints one line: "<mode> bytes=<n> seconds=<s> mbps=<MB/s> peak_ws_mib=<MiB> progress_calls=<n>".
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cloud/Crc64.h"
#include "cloud/FileResponseStream.h"
#include "cloud/HttpDate.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "cloud/PackageDigests.h"
#include "cloud/Sha256.h"
#include "cloud/Signature.h"
#include "engine/WorkerMessages.h"

namespace {

constexpr DWORD kReadBytes = 256 * 1024;  // the same block size as the client's
constexpr double kMegabyte = 1000.0 * 1000.0;

std::atomic<long> g_progressMessages{0};

double PeakWorkingSetMiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize / (1024.0 * 1024.0);
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void Report(const char* mode, long long bytes, double seconds, long calls) {
    std::printf("%s bytes=%lld seconds=%.3f mbps=%.1f peak_ws_mib=%.1f progress_calls=%ld\n", mode, bytes, seconds,
                bytes / seconds / kMegabyte, PeakWorkingSetMiB(), calls);
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
        if (!kav::oss::ParseSha256Hex(sha256Hex, digest)) {
            std::printf("not a SHA-256: %s\n", sha256Hex);
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

int Hashes() {
    constexpr size_t kHashedBytes = 256u << 20;
    std::vector<char> block(kReadBytes);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    std::uint64_t crc = 0;
    ULONGLONG start = ::GetTickCount64();
    for (size_t done = 0; done < kHashedBytes; done += block.size()) {
        crc = kav::oss::Crc64Update(crc, block.data(), block.size());
    }
    double seconds = (::GetTickCount64() - start) / 1000.0;
    std::printf("crc64 bytes=%zu seconds=%.3f mbps=%.1f (crc %llu)\n", kHashedBytes, seconds,
                kHashedBytes / seconds / kMegabyte, static_cast<unsigned long long>(crc));
    kav::oss::Sha256 sha256;
    start = ::GetTickCount64();
    for (size_t done = 0; done < kHashedBytes; done += block.size()) {
        if (!sha256.Update(block.data(), block.size())) return 1;
    }
    kav::oss::Sha256Digest digest{};
    if (!sha256.Finish(digest)) return 1;
    seconds = (::GetTickCount64() - start) / 1000.0;
    std::printf("sha256 bytes=%zu seconds=%.3f mbps=%.1f\n", kHashedBytes, seconds, kHashedBytes / seconds / kMegabyte);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "hashes") == 0) return Hashes();
    if (argc >= 7 && std::strcmp(argv[1], "bare") == 0) return Bare(argv[2], argv[3], argv[4], argv[5], argv[6]);
    if (argc >= 8 && std::strcmp(argv[1], "client") == 0) {
        return Client(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argc >= 9 ? argv[8] : nullptr);
    }
    std::printf("usage: download_bench hashes | bare|client <endpoint> <bucket> <key> <keyId> <secret> "
                "[output [sha256]]\n");
    return 2;
}
