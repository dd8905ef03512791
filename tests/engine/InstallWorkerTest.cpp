// The whole install without its window: the worker on its own thread against the local bucket,
// its messages recorded by a hidden window that stands in for the dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BucketSupport.h"
#include "TestSupport.h"
#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "cloud/IClient.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "engine/InstallRecovery.h"
#include "engine/InstallWorker.h"
#include "engine/InstallationSwap.h"
#include "engine/MovedAsideRemoval.h"
#include "engine/WorkerMessages.h"
#include "system/Folders.h"
#include "system/ProductPaths.h"
#include "system/UninstallEntry.h"
#include "system/UrlProtocol.h"

namespace {

constexpr char kFixName[] = "9.5.9.1_fix";
constexpr char kQuantName[] = "9.5.9.1_quant";

// ---- the stand-in for the dialog: records every worker message in order ------------------------

struct Posted {
    UINT message;
    LPARAM value;
};

class MessageRecorder {
public:
    MessageRecorder() {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &MessageRecorder::Procedure;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KavrindelTestRecorder";
        ::RegisterClassExW(&wc);
        hwnd_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~MessageRecorder() { ::DestroyWindow(hwnd_); }

    HWND Window() const { return hwnd_; }
    const std::vector<Posted>& Messages() const { return messages_; }

    // Pumps messages until the thread has ended and its messages are all in.
    void PumpUntilEnded(HANDLE thread) {
        for (;;) {
            const DWORD wait = ::MsgWaitForMultipleObjects(1, &thread, FALSE, 120000, QS_ALLPOSTMESSAGE);
            Drain();
            if (wait == WAIT_OBJECT_0) break;
            if (wait == WAIT_TIMEOUT) {
                ADD_FAILURE() << "the worker did not end within two minutes";
                break;
            }
        }
        Drain();
    }

    // Progress messages in a row collapsed to the last one: "S2" for a step, "P32" for progress,
    // "F4" for a failure, "D" for done.
    std::vector<std::string> Summary() const {
        std::vector<std::string> out;
        for (const Posted& p : messages_) {
            std::string token;
            switch (p.message) {
                case WM_INSTALL_STEP: token = "S" + std::to_string(p.value); break;
                case WM_INSTALL_PROGRESS: token = "P" + std::to_string(p.value); break;
                case WM_INSTALL_FAILED: token = "F" + std::to_string(p.value); break;
                case WM_INSTALL_DONE: token = "D"; break;
                default: continue;
            }
            if (token[0] == 'P' && !out.empty() && out.back()[0] == 'P') {
                out.back() = token;
            } else {
                out.push_back(token);
            }
        }
        return out;
    }

    // The first progress value after the step message of that step.
    LPARAM FirstProgressAfterStep(int step) const {
        for (size_t i = 0; i < messages_.size(); ++i) {
            if (messages_[i].message == WM_INSTALL_STEP && messages_[i].value == step) {
                for (size_t j = i + 1; j < messages_.size(); ++j) {
                    if (messages_[j].message == WM_INSTALL_PROGRESS) return messages_[j].value;
                }
            }
        }
        return -1;
    }

    // The three progress values that close a successful run (after step 14), in order.
    std::vector<LPARAM> ClosingValues() const {
        std::vector<LPARAM> values;
        for (size_t i = messages_.size(); i-- > 0 && values.size() < 3;) {
            if (messages_[i].message == WM_INSTALL_PROGRESS) values.insert(values.begin(), messages_[i].value);
        }
        return values;
    }

private:
    void Drain() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == hwnd_ && msg.message >= WM_USER) messages_.push_back({msg.message, msg.lParam});
            ::DispatchMessageW(&msg);
        }
    }

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    std::vector<Posted> messages_;
};

using kavtest::TreeOf;

std::string Profile(const std::string& file, const char* section, const char* key) {
    char value[512] = {};
    ::GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, file.c_str());
    return value;
}

std::vector<std::string> LogMessages(const std::string& logDir) {
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((logDir + "\\*install.log").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return {};
    const std::string bytes = kavtest::ReadFileBytes(logDir + "\\" + entry.cFileName);
    ::FindClose(find);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(start, end - start);
        const size_t tabs = line.find("\t\t");
        lines.push_back(tabs == std::string::npos ? line : line.substr(tabs + 2));
        start = end + 2;
    }
    return lines;
}


// The identity of a folder: stays with the folder when it is renamed, differs for a copy.
unsigned long long FolderIdentity(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info = {};
    ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    return (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

void RemoveRegistrations() {
    const InstallSettings& s = GetInstallSettings();
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                     (std::string(kav::kUninstallRootWow64) + kav::UninstallKeyNameFor(s.packageCode)).c_str());
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kav::UrlSchemeNameFor(s.packageCode).c_str());
    ::DeleteFileA(kav::DesktopShortcutPath().c_str());
}

// Windows refuses to rename a folder while a program holds a file in it open, and a rename to
// another volume; Wine allows the first, and the test folders share one volume. While this lives,
// the swap's renames of the folders named are refused as Windows would refuse them.
class RefusedRename {
public:
    explicit RefusedRename(std::string from) : previous_(kav::SetSwapMoveFunction(&Move)) { Refused() = std::move(from); }
    ~RefusedRename() { kav::SetSwapMoveFunction(previous_); }
    RefusedRename(const RefusedRename&) = delete;
    RefusedRename& operator=(const RefusedRename&) = delete;

private:
    static std::string& Refused() {
        static std::string from;
        return from;
    }
    static bool Move(const char* from, const char* to) { return from != Refused() && kav::RenameFolder(from, to); }

    kav::FolderMoveFunction previous_;
};

// ---- the fixture: what the dialog does before it starts the worker, then the worker ------------

class InstallWorkerRun : public ::testing::Test {
protected:
    void SetUp() override {
        bucketRoot_ = kavtest::Env("KAV_BUCKET_ROOT") + "\\" + kObjectPrefix;
        ASSERT_TRUE(kavtest::PathExists(bucketRoot_ + "\\summary.ini")) << bucketRoot_;
        InstallSettings& s = GetInstallSettings();
        s = InstallSettings{};
        s.packageCode = "201805";
        s.productTitle = "Qerlix Trading System";
        s.uiLanguageId = 2052;
        kav::DerivePathsFrom(s, base_.Path(), "", s.packageCode);
        MainWindowHandle = recorder_.Window();
        RemoveRegistrations();
    }

    void TearDown() override {
        CloseInstallLog();
        RemoveRegistrations();
        for (const auto& [from, to] : moved_) ::MoveFileExA(to.c_str(), from.c_str(), MOVEFILE_REPLACE_EXISTING);
    }

    // A file of the release in the bucket, by its key below the object prefix ("base.zip").
    std::string BucketFile(const std::string& key) const { return bucketRoot_ + "\\" + key; }

    void RemoveFromBucket(const std::string& key) {
        const std::string path = BucketFile(key);
        moved_.push_back({path, path + ".away"});
        ASSERT_TRUE(::MoveFileExA(path.c_str(), (path + ".away").c_str(), MOVEFILE_REPLACE_EXISTING));
    }

    void CorruptInBucket(const std::string& key) {
        const std::string path = BucketFile(key);
        moved_.push_back({path, path + ".away"});
        ASSERT_TRUE(::CopyFileA(path.c_str(), (path + ".away").c_str(), FALSE));
        std::string bytes = kavtest::ReadFileBytes(path);
        ASSERT_GT(bytes.size(), 64u);
        // Keep the archive's catalogue readable but break the first entry's data.
        for (size_t i = 40; i < std::min<size_t>(bytes.size() / 2, 4000); ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        kavtest::WriteFileBytes(path, bytes);
    }

    // The vendor signs the release again after a change; the original manifest and signature come
    // back after the test.
    void ResignRelease() {
        for (const char* key : {"summary.ini", "summary.ini.sig"}) {
            const std::string path = BucketFile(key);
            moved_.push_back({path, path + ".away"});
            ASSERT_TRUE(::CopyFileA(path.c_str(), (path + ".away").c_str(), FALSE));
        }
        ASSERT_TRUE(kavtest::SignRelease());
    }

    // An earlier installation with a few files, the product's config files among them.
    void MakeOldInstallation() {
        const InstallSettings& s = GetInstallSettings();
        ASSERT_TRUE(MakeDirectoryPath((s.installDir + "\\config\\").c_str()));
        kavtest::WriteFileBytes(s.installDir + "\\kavrindel v9.5.exe", "old program");
        kavtest::WriteFileBytes(s.installDir + "\\old-only.dat", "only in the old release");
        kavtest::WriteFileBytes(s.installDir + "\\config\\kavrindel.Default.pri", "[kavrindel]\r\nlanguage=1033\r\n");
    }

    // The dialog's start of an install, then the worker on its own thread until it ends.
    bool Run(const std::function<void()>& beforeWorker = {}) {
        const InstallSettings& s = GetInstallSettings();
        client_.objectPrefix = kObjectPrefix;
        client_.InitCloudAccount();
        client_.endpoint = kavtest::Env("KAV_BUCKET_ENDPOINT");
        kav::oss::InitializeSdk();
        client_.ossClient = new kav::oss::OssClient(client_.endpoint, client_.accessKeyId, client_.accessKeySecret,
                                                    kav::oss::ClientConfiguration());
        DeleteDirectoryTree(s.tempDir.c_str());
        MakeDirectoryPath((s.tempDir + "\\").c_str());
        OpenInstallLog();
        if (!client_.ReadRemoteManifest()) return false;
        if (beforeWorker) beforeWorker();
        stagingIdentity_ = FolderIdentity(s.tempDir);
        manifestMessages_ = recorder_.Messages().size();
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &InstallWorker, static_cast<IClient*>(&client_), 0, nullptr));
        EXPECT_NE(thread, nullptr);
        recorder_.PumpUntilEnded(thread);
        DWORD exitCode = 99;
        ::GetExitCodeThread(thread, &exitCode);
        ::CloseHandle(thread);
        workerResult_ = exitCode;
        return true;
    }

    std::vector<std::string> WorkerSummary() const {
        std::vector<std::string> all = recorder_.Summary();
        // The manifest's own progress (one collapsed "P16") precedes the worker's messages.
        if (!all.empty() && all.front() == "P16") all.erase(all.begin());
        return all;
    }

    kavtest::TempFolder base_{"kav-install"};
    MessageRecorder recorder_;
    IClient client_;
    std::string bucketRoot_;
    std::vector<std::pair<std::string, std::string>> moved_;
    size_t manifestMessages_ = 0;
    unsigned long long stagingIdentity_ = 0;
    DWORD workerResult_ = 99;
};

TEST_F(InstallWorkerRun, FirstInstallWithoutQuant) {
    ASSERT_TRUE(Run());
    const InstallSettings& s = GetInstallSettings();
    EXPECT_EQ(workerResult_, 1u);
    EXPECT_EQ(recorder_.Summary().front(), "P16") << "the manifest download ends at 16";
    // Progress messages in a row are collapsed; the three closing values are checked one by one.
    const std::vector<std::string> expected = {"S2", "P32", "S3", "P48", "S4", "P64", "S6", "S7", "P66", "S9",
                                               "P68", "S8", "P70", "S12", "S13", "S14", "P80", "D"};
    EXPECT_EQ(WorkerSummary(), expected);
    EXPECT_EQ(recorder_.ClosingValues(), (std::vector<LPARAM>{75, 79, 80}));

    // The install folder holds the staged content and the version file; the staging folder is gone.
    EXPECT_TRUE(kavtest::PathExists(s.installDir + "\\kavrindel v9.5.exe"));
    EXPECT_TRUE(kavtest::PathExists(s.installDir + "\\uninstall.exe"));
    EXPECT_FALSE(kavtest::PathExists(s.tempDir));
    // The run's open log does not hold the old folder: the staging folder was renamed into place.
    EXPECT_EQ(FolderIdentity(s.installDir), stagingIdentity_);
    EXPECT_FALSE(kavtest::PathExists(s.installDir + "\\base.zip"));
    EXPECT_FALSE(kavtest::PathExists(s.installDir + "\\summary.ini"));
    EXPECT_FALSE(kavtest::PathExists(s.installDir + "\\summary.ini.sig")) << "cleaned with the manifest";
    const std::string version = s.installDir + "\\update.ini";
    EXPECT_EQ(Profile(version, "cfgstamp", "time"), std::to_string(client_.cfgTime));
    EXPECT_EQ(Profile(version, "version", "cur"), kFixName);
    EXPECT_EQ(Profile(version, "version", "quant"), "");
    EXPECT_NE(kavtest::ReadFileBytes(version).find("quant="), std::string::npos) << "the key stands, empty";
    EXPECT_EQ(Profile(s.installDir + "\\config\\kavrindel.Default.pub", "kavrindel", "package"), "201805");
    EXPECT_EQ(Profile(s.installDir + "\\config\\kavrindel.Default.pri", "kavrindel", "language"), "2052");
    EXPECT_EQ(s.installedVersion, kFixName);

    // Registered with Windows.
    HKEY key = nullptr;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                              (std::string(kav::kUninstallRootWow64) + "Kavrindel_201805v9.5").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    if (key != nullptr) ::RegCloseKey(key);
    EXPECT_TRUE(kavtest::PathExists(kav::DesktopShortcutPath()));

    // The log: the worker's lines in order, closed after the shortcut's lines (nothing after them).
    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "Version: IE_9.5.9.1");
    EXPECT_EQ(log[1], "用户点击安装，安装开始...");
    const std::vector<std::string> steps = {"下载前端依赖库", "下载服务依赖库", "下载配置文件", "下载运行库",
                                            "安装前端依赖库", "安装服务依赖库", "安装运行库", "安装配置文件",
                                            "清理安装文件", "保存更新版本信息", "删除源文件", "复制新版本数据到原目录",
                                            "URL Schemes: Start", "URL Schemes: Finish"};
    auto at = log.begin();
    for (const std::string& step : steps) {
        at = std::find(at, log.end(), step);
        EXPECT_NE(at, log.end()) << "missing or out of order: " << step;
    }
    EXPECT_EQ(log.back().rfind("IPersistFile::Save : ", 0), 0u) << log.back();
}

// The run's log lies in the old install folder; it waits aside while the old folder is moved aside,
// the staged folder is renamed into place, the log goes on in it, and the old folder is deleted
// after the last message.
TEST_F(InstallWorkerRun, ReinstallMovesTheOldFolderAsideAndRenamesTheNewOne) {
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    ASSERT_TRUE(MakeDirectoryPath((s.logDir + "\\").c_str()));
    kavtest::WriteFileBytes(s.logDir + "\\000000000install.log", "an earlier install's log");
    ASSERT_TRUE(Run());
    EXPECT_EQ(workerResult_, 1u);
    EXPECT_EQ(recorder_.Messages().back().message, WM_INSTALL_DONE);
    EXPECT_EQ(FolderIdentity(s.installDir), stagingIdentity_);
    EXPECT_FALSE(kavtest::PathExists(s.installDir + "\\old-only.dat"));
    EXPECT_FALSE(kavtest::PathExists(s.logDir + "\\000000000install.log")) << "it belonged to the old installation";
    EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(kav::DiscardFolderFor(s.installDir)));
    EXPECT_EQ(Profile(s.installDir + "\\config\\kavrindel.Default.pri", "kavrindel", "language"), "2052");
    // The program's exit waits for the deletion; it must not wait once the worker is done.
    static std::atomic<bool> waited{false};
    std::thread([] {
        kav::WaitForMovedAsideRemoval();
        waited = true;
    }).detach();
    for (int i = 0; i < 100 && !waited; ++i) ::Sleep(50);
    EXPECT_TRUE(waited) << "the exit would wait for ever";
    EXPECT_NE(kavtest::ReadFileBytes(s.installDir + "\\kavrindel v9.5.exe"), "old program");
    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "Version: IE_9.5.9.1");
    EXPECT_NE(std::find(log.begin(), log.end(), "复制新版本数据到原目录"), log.end());
    EXPECT_EQ(log.back().rfind("IPersistFile::Save : ", 0), 0u);
}

// A file of the old installation held open by another program keeps the old folder from moving
// aside: it is removed as far as it can be, the rename fails and the staged folder is copied over
// the install folder instead.
TEST_F(InstallWorkerRun, ReinstallCopiesTheNewVersionOverTheOldOne) {
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    RefusedRename refused(s.installDir);
    // A file of the old installation that the new release does not contain, held open without
    // delete sharing, as another program would.
    HANDLE held = ::CreateFileA((s.installDir + "\\old-only.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(Run());
    ::CloseHandle(held);
    EXPECT_EQ(workerResult_, 1u);
    EXPECT_EQ(recorder_.Messages().back().message, WM_INSTALL_DONE);
    EXPECT_EQ(recorder_.ClosingValues(), (std::vector<LPARAM>{75, 79, 80}));
    EXPECT_NE(kavtest::ReadFileBytes(s.installDir + "\\kavrindel v9.5.exe"), "old program");
    EXPECT_TRUE(kavtest::PathExists(s.installDir + "\\uninstall.exe"));
    EXPECT_EQ(Profile(s.installDir + "\\config\\kavrindel.Default.pri", "kavrindel", "language"), "2052");
    EXPECT_EQ(Profile(s.installDir + "\\update.ini", "version", "cur"), kFixName);
    EXPECT_FALSE(kavtest::PathExists(s.tempDir)) << "the staging folder is deleted after the copy";
    EXPECT_NE(FolderIdentity(s.installDir), stagingIdentity_) << "copied, not renamed";
    EXPECT_TRUE(kavtest::PathExists(s.installDir + "\\old-only.dat")) << "the held file stays";
    EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(s.installDir)));
    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("IPersistFile::Save : ", 0), 0u) << "the log went on after the copy";
}

// Without a log the same: the old folder goes, and the staging folder is renamed.
TEST_F(InstallWorkerRun, FirstInstallWithoutLogRenamesTheStagingFolder) {
    const InstallSettings& s = GetInstallSettings();
    // A file where the log folder would be: the log cannot be opened.
    ASSERT_TRUE(MakeDirectoryPath((s.installDir + "\\").c_str()));
    kavtest::WriteFileBytes(s.logDir, "not a folder");
    static int notices = 0;
    const auto previous = kav::SetFolderNoticeHandler([](const char*, const char*) { ++notices; });
    ASSERT_TRUE(Run());
    kav::SetFolderNoticeHandler(previous);
    EXPECT_EQ(workerResult_, 1u);
    EXPECT_EQ(recorder_.Messages().back().message, WM_INSTALL_DONE);
    EXPECT_FALSE(kavtest::PathExists(s.tempDir));
    EXPECT_EQ(FolderIdentity(s.installDir), stagingIdentity_);
    // The old folder went whole (a copy over it would have left the file in place of the log folder).
    EXPECT_FALSE(kavtest::PathExists(s.logDir));
    EXPECT_EQ(notices, 1) << "the log folder's failure was shown once";
    EXPECT_TRUE(kavtest::PathExists(s.installDir + "\\kavrindel v9.5.exe"));
}

// A file of the new release that another program holds open cannot be copied over: the run ends
// with the "occupied" failure before anything is registered, and the staging folder stays.
TEST_F(InstallWorkerRun, CopyBackFailureEndsTheRunWithCodeEleven) {
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    RefusedRename refused(s.installDir);
    HANDLE held = ::CreateFileA((s.installDir + "\\kavrindel v9.5.exe").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(Run());
    ::CloseHandle(held);
    EXPECT_EQ(workerResult_, 0u);
    const std::vector<Posted>& raw = recorder_.Messages();
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw.back().message, WM_INSTALL_FAILED);
    EXPECT_EQ(raw.back().value, StepFilesOccupied);
    EXPECT_EQ(raw[raw.size() - 2].message, WM_INSTALL_PROGRESS);
    EXPECT_EQ(raw[raw.size() - 2].value, 75) << "no +4 after a failed copy";
    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "复制新版本数据到原目录");
    EXPECT_EQ(log.back(), "安装失败：文件被占用");
    EXPECT_TRUE(kavtest::PathExists(s.tempDir)) << "left for the program's exit to delete";
    HKEY key = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                              (std::string(kav::kUninstallRootWow64) + "Kavrindel_201805v9.5").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS)
        << "nothing is registered after the failure";
    if (key != nullptr) ::RegCloseKey(key);
}

// The staged folder cannot be renamed into place (the chosen install folder lies on another volume):
// it is copied beside the install folder, and that copy is renamed into place. Until then the old
// installation waits whole under its moved-aside name, and the place holds no partial copy.
struct BesideCopyView {
    bool seen = false;
    bool placeEmpty = false;
    std::map<std::string, std::string> aside;
};
BesideCopyView g_besideView;
bool NoteCopiedBeside(kav::SwapStage stage) {
    if (stage == kav::SwapStage::CopiedBeside) {
        const std::string& installDir = GetInstallSettings().installDir;
        g_besideView = {true, !kavtest::PathExists(installDir),
                        TreeOf(kav::MovedAsideFolderFor(installDir), "kavrindellog")};
    }
    return true;
}

TEST_F(InstallWorkerRun, StagedFolderOnAnotherVolumeIsCopiedBesideThenRenamedIntoPlace) {
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    const auto oldTree = TreeOf(s.installDir, "kavrindellog");
    RefusedRename refused(s.tempDir);
    g_besideView = {};
    kav::SetSwapStageHook(&NoteCopiedBeside);
    const bool ran = Run();
    kav::SetSwapStageHook(nullptr);
    ASSERT_TRUE(ran);
    EXPECT_EQ(workerResult_, 1u);
    EXPECT_EQ(recorder_.ClosingValues(), (std::vector<LPARAM>{75, 79, 80}));
    ASSERT_TRUE(g_besideView.seen);
    EXPECT_TRUE(g_besideView.placeEmpty) << "no copy is made in the install folder's place";
    EXPECT_EQ(g_besideView.aside, oldTree) << "the old installation is whole while the copy is made";
    EXPECT_NE(FolderIdentity(s.installDir), stagingIdentity_) << "copied, not renamed";
    EXPECT_NE(kavtest::ReadFileBytes(s.installDir + "\\kavrindel v9.5.exe"), "old program");
    EXPECT_FALSE(kavtest::PathExists(s.installDir + "\\old-only.dat"));
    EXPECT_EQ(Profile(s.installDir + "\\config\\kavrindel.Default.pri", "kavrindel", "language"), "2052");
    EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(kav::CopiedBesideFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(s.tempDir));
    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("IPersistFile::Save : ", 0), 0u) << "the log went on after the copy";
}

// The copy beside the install folder fails (here: a staged file that another program holds open
// cannot be read): the old installation returns to its place whole, nothing is left beside it, and
// the run ends with the "occupied" failure.
HANDLE g_heldStagedFile = INVALID_HANDLE_VALUE;
bool HoldStagedProgram(kav::SwapStage stage) {
    if (stage == kav::SwapStage::OldOutOfPlace) {
        g_heldStagedFile = ::CreateFileA((GetInstallSettings().tempDir + "\\kavrindel v9.5.exe").c_str(), GENERIC_READ,
                                         0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    return true;
}

TEST_F(InstallWorkerRun, AFailedCopyBesideLeavesTheOldInstallationInPlace) {
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    const auto oldTree = TreeOf(s.installDir, "kavrindellog");
    RefusedRename refused(s.tempDir);
    kav::SetSwapStageHook(&HoldStagedProgram);
    const bool ran = Run();
    kav::SetSwapStageHook(nullptr);
    ASSERT_NE(g_heldStagedFile, INVALID_HANDLE_VALUE);
    ::CloseHandle(g_heldStagedFile);
    g_heldStagedFile = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(ran);
    EXPECT_EQ(workerResult_, 0u);
    const std::vector<Posted>& raw = recorder_.Messages();
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(raw.back().message, WM_INSTALL_FAILED);
    EXPECT_EQ(raw.back().value, StepFilesOccupied);
    EXPECT_EQ(TreeOf(s.installDir, "kavrindellog"), oldTree);
    EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(kav::CopiedBesideFolderFor(s.installDir)));
}

// A folder that cannot be moved aside but can be removed: the removal, then the rename.
TEST_F(InstallWorkerRun, RefusedMoveAsideFallsBackToRemovalAndRename) {
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    RefusedRename refused(s.installDir);
    ASSERT_TRUE(Run());
    EXPECT_EQ(workerResult_, 1u);
    EXPECT_EQ(recorder_.ClosingValues(), (std::vector<LPARAM>{75, 79, 80}));
    EXPECT_EQ(FolderIdentity(s.installDir), stagingIdentity_);
    EXPECT_FALSE(kavtest::PathExists(s.installDir + "\\old-only.dat"));
    EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(s.tempDir));
}

// ---- a run cut during the swap, then the next start's recovery --------------------------------

enum class Release { None, Old, New };

struct CutCase {
    const char* name;
    kav::SwapStage stage;
    bool oldInstallation;  // an update (true) or a first install
    Release after;         // what the install folder holds after the recovery
    bool stagedElsewhere = false;  // the staged folder cannot be renamed into place (another volume)
};

// The stage hook: records the complete staged tree, stops at the case's stage, and at the discard
// stage deletes half of the folder first, as a deletion cut in its middle leaves it.
struct CutState {
    kav::SwapStage stopAt;
    std::map<std::string, std::string> staged;
};
CutState* g_cut = nullptr;

void DeleteHalfOfTree(const std::string& root) {
    std::map<std::string, std::string> tree = TreeOf(root);
    bool drop = true;
    for (const auto& [relative, bytes] : tree) {
        if (relative.back() == '\\') continue;
        if (drop) ::DeleteFileA((root + "\\" + relative).c_str());
        drop = !drop;
    }
}

bool CutAt(kav::SwapStage stage) {
    const InstallSettings& s = GetInstallSettings();
    if (stage == kav::SwapStage::StagingComplete) g_cut->staged = TreeOf(s.tempDir, "kavrindellog");
    if (stage != g_cut->stopAt) return true;
    if (stage == kav::SwapStage::Discarding) DeleteHalfOfTree(kav::DiscardFolderFor(s.installDir));
    return false;
}

class InstallWorkerCut : public InstallWorkerRun, public ::testing::WithParamInterface<CutCase> {
protected:
    void TearDown() override {
        kav::SetSwapStageHook(nullptr);
        g_cut = nullptr;
        InstallWorkerRun::TearDown();
    }
};

TEST_P(InstallWorkerCut, RecoveryLeavesOneWholeRelease) {
    const CutCase& c = GetParam();
    const InstallSettings& s = GetInstallSettings();
    if (c.oldInstallation) MakeOldInstallation();
    const auto oldTree = TreeOf(s.installDir, "kavrindellog");
    std::optional<RefusedRename> refused;
    if (c.stagedElsewhere) refused.emplace(s.tempDir);
    CutState state{c.stage, {}};
    g_cut = &state;
    kav::SetSwapStageHook(&CutAt);
    ASSERT_TRUE(Run());
    kav::SetSwapStageHook(nullptr);
    ASSERT_FALSE(state.staged.empty());
    ASSERT_NE(state.staged, oldTree);

    // The next start: recovery, then the staging folder emptied as before every install.
    kav::RecoverInterruptedSwap(s.installDir);
    DeleteDirectoryTree(s.tempDir.c_str());

    switch (c.after) {
        // The run's log folder is all a first install had made of the install folder.
        case Release::None: EXPECT_TRUE(TreeOf(s.installDir, "kavrindellog").empty()); break;
        case Release::Old: EXPECT_EQ(TreeOf(s.installDir, "kavrindellog"), oldTree); break;
        case Release::New: EXPECT_EQ(TreeOf(s.installDir, "kavrindellog"), state.staged); break;
    }
    EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(kav::DiscardFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(kav::CopiedBesideFolderFor(s.installDir)));
    EXPECT_FALSE(kavtest::PathExists(s.tempDir));
}

INSTANTIATE_TEST_SUITE_P(
    WithoutQuant, InstallWorkerCut,
    ::testing::Values(CutCase{"StagingComplete", kav::SwapStage::StagingComplete, true, Release::Old},
                      CutCase{"OldOutOfPlace", kav::SwapStage::OldOutOfPlace, true, Release::Old},
                      CutCase{"NewInPlace", kav::SwapStage::NewInPlace, true, Release::New},
                      CutCase{"Registered", kav::SwapStage::Registered, true, Release::New},
                      CutCase{"DiscardHalfDone", kav::SwapStage::Discarding, true, Release::New},
                      CutCase{"FirstInstallBeforeRename", kav::SwapStage::OldOutOfPlace, false, Release::None},
                      CutCase{"FirstInstallRenamed", kav::SwapStage::NewInPlace, false, Release::New},
                      CutCase{"ElsewhereCopiedBeside", kav::SwapStage::CopiedBeside, true, Release::Old, true},
                      CutCase{"ElsewhereNewInPlace", kav::SwapStage::NewInPlace, true, Release::New, true},
                      CutCase{"ElsewhereFirstInstallCopiedBeside", kav::SwapStage::CopiedBeside, false, Release::None,
                              true}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

// ---- failures: one per step, each ending the run with the old installation untouched ----------

struct FailureCase {
    const char* name;
    int code;
    const char* bucketKey;    // below the object prefix
    bool corrupt;             // corrupt the package instead of removing it
    bool resign;              // sign the release again after the change, as its vendor would
    const char* downloadLine; // the download routine's own line, or empty for an extraction
    const char* startLine;
    const char* failLine;
};

class InstallWorkerFailure : public InstallWorkerRun, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(InstallWorkerFailure, EndsAtTheStepWithTheOldInstallationIntact) {
    const FailureCase& c = GetParam();
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    const auto before = TreeOf(s.installDir, "kavrindellog");
    if (c.corrupt) {
        CorruptInBucket(c.bucketKey);
    } else {
        RemoveFromBucket(c.bucketKey);
    }
    if (c.resign) ResignRelease();
    ASSERT_TRUE(kavtest::ResetBucket());
    ASSERT_TRUE(Run());
    EXPECT_EQ(workerResult_, 0u);

    const std::vector<Posted>& raw = recorder_.Messages();
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(raw.back().message, WM_INSTALL_FAILED);
    EXPECT_EQ(raw.back().value, c.code);
    // The step that failed was announced, and nothing but its own progress came between.
    for (size_t i = raw.size() - 1; i-- > manifestMessages_;) {
        if (raw[i].message == WM_INSTALL_STEP) {
            EXPECT_EQ(raw[i].value, c.code);
            break;
        }
        EXPECT_EQ(raw[i].message, WM_INSTALL_PROGRESS);
        if (c.downloadLine[0] == '\0') ADD_FAILURE() << "an extraction that fails posts no progress";
    }

    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), c.failLine);
    const std::string before_last = log[log.size() - 2];
    if (c.downloadLine[0] != '\0') {
        EXPECT_EQ(before_last.rfind(c.downloadLine, 0), 0u) << before_last;
    } else {
        EXPECT_EQ(before_last, c.startLine);
    }
    EXPECT_EQ(TreeOf(s.installDir, "kavrindellog"), before) << "the old installation changed";
    EXPECT_EQ(s.installedVersion, "");
    if (c.corrupt && !c.resign) {
        // A package changed after signing: fetched again, refused, and nothing of it is left.
        const std::string name = std::string(c.bucketKey).substr(std::string(c.bucketKey).rfind('/') + 1);
        EXPECT_FALSE(kavtest::PathExists(s.tempDir + "\\" + name));
        size_t gets = 0;
        for (const auto& r : kavtest::RequestLog()) {
            gets += r.method == "GET" && r.rawKey == std::string(kObjectPrefix) + "/" + c.bucketKey;
        }
        EXPECT_EQ(gets, 4u) << "refused like a damaged transfer: the first request and three retries";
    }
}

const std::string kMissingBase = std::string(kObjectPrefix) + "/base.zip,文件不存在";
const std::string kMissingConfig = std::string(kObjectPrefix) + "/config.zip,文件不存在";
const std::string kMissingFix = std::string(kObjectPrefix) + "/fix/" + kFixName + ".zip,文件不存在";
const std::string kMissingQuant = std::string(kObjectPrefix) + "/quant/" + kQuantName + ".zip,文件不存在";
constexpr char kTampered[] = "Downfile Fail,code:Sha256CheckError,";

INSTANTIATE_TEST_SUITE_P(
    WithoutQuant, InstallWorkerFailure,
    ::testing::Values(
        FailureCase{"MissingBase", 2, "base.zip", false, false, kMissingBase.c_str(), "下载服务依赖库", "下载服务依赖库失败"},
        FailureCase{"MissingConfig", 3, "config.zip", false, false, kMissingConfig.c_str(), "下载配置文件", "下载配置文件失败"},
        FailureCase{"MissingFix", 4, "fix/9.5.9.1_fix.zip", false, false, kMissingFix.c_str(), "下载运行库", "下载运行库失败"},
        // Damaged packages that the vendor signed: they arrive and fail to unpack.
        FailureCase{"CorruptBase", 7, "base.zip", true, true, "", "安装服务依赖库", "安装服务依赖库失败"},
        FailureCase{"CorruptFix", 9, "fix/9.5.9.1_fix.zip", true, true, "", "安装运行库", "安装运行库失败"},
        FailureCase{"CorruptConfig", 8, "config.zip", true, true, "", "安装配置文件", "安装配置文件失败"},
        // Packages replaced after signing: refused at their download.
        FailureCase{"TamperedBase", 2, "base.zip", true, false, kTampered, "下载服务依赖库", "下载服务依赖库失败"},
        FailureCase{"TamperedFix", 4, "fix/9.5.9.1_fix.zip", true, false, kTampered, "下载运行库", "下载运行库失败"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    WithQuant, InstallWorkerFailure,
    ::testing::Values(
        FailureCase{"MissingQuant", 5, "quant/9.5.9.1_quant.zip", false, false, kMissingQuant.c_str(), "下载Quant",
                    "下载Quant 失败"},
        FailureCase{"CorruptQuant", 10, "quant/9.5.9.1_quant.zip", true, true, "", "安装Quant运行库", "安装Quant运行库失败"},
        FailureCase{"TamperedQuant", 5, "quant/9.5.9.1_quant.zip", true, false, kTampered, "下载Quant", "下载Quant 失败"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(InstallWorkerRun, CorruptDependencyPackageInTheStagingFolder) {
    // The dependency download is off, so a damaged package can only be one already lying there.
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    const auto before = TreeOf(s.installDir, "kavrindellog");
    ASSERT_TRUE(Run([&] { kavtest::WriteFileBytes(s.tempDir + "/depend.zip", "PK\x03\x04 not really a zip archive"); }));
    EXPECT_EQ(workerResult_, 0u);
    ASSERT_FALSE(recorder_.Messages().empty());
    EXPECT_EQ(recorder_.Messages().back().message, WM_INSTALL_FAILED);
    EXPECT_EQ(recorder_.Messages().back().value, 6);
    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "安装前端依赖库");
    EXPECT_EQ(log.back(), "安装前端依赖库失败");
    EXPECT_EQ(TreeOf(s.installDir, "kavrindellog"), before);
}

// A manifest changed after signing (another runtime package named) is refused before the worker
// starts: no package is requested and the old installation stays as it was.
TEST_F(InstallWorkerRun, AManifestChangedAfterSigningRequestsNoPackage) {
    MakeOldInstallation();
    const InstallSettings& s = GetInstallSettings();
    const auto before = TreeOf(s.installDir, "kavrindellog");
    const std::string manifest = BucketFile("summary.ini");
    moved_.push_back({manifest, manifest + ".away"});
    ASSERT_TRUE(::CopyFileA(manifest.c_str(), (manifest + ".away").c_str(), FALSE));
    std::string bytes = kavtest::ReadFileBytes(manifest);
    const size_t at = bytes.find(kFixName);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, std::string(kFixName).size(), "9.5.9.0_fix");
    kavtest::WriteFileBytes(manifest, bytes);
    ASSERT_TRUE(kavtest::ResetBucket());

    EXPECT_FALSE(Run()) << "the manifest read must fail";
    for (const auto& r : kavtest::RequestLog()) {
        EXPECT_TRUE(r.rawKey == std::string(kObjectPrefix) + "/summary.ini" ||
                    r.rawKey == std::string(kObjectPrefix) + "/summary.ini.sig")
            << r.method << " " << r.rawKey;
    }
    CloseInstallLog();
    const std::vector<std::string> log = LogMessages(s.logDir);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), std::string(kObjectPrefix) + "/summary.ini.sig,签名验证失败");
    EXPECT_STREQ(client_.fixPackage, "");
    for (const Posted& p : recorder_.Messages()) EXPECT_EQ(p.message, WM_INSTALL_PROGRESS) << "no step, no failure";
    EXPECT_EQ(TreeOf(s.installDir, "kavrindellog"), before);
}

TEST_F(InstallWorkerRun, WithQuantPackage) {
    ASSERT_TRUE(Run());
    EXPECT_EQ(workerResult_, 1u);
    EXPECT_EQ(recorder_.Summary().front(), "P16") << "the sixth download is counted after the manifest";
    // The first package's slice starts at 13, below the 16 the manifest already showed.
    const LPARAM first = recorder_.FirstProgressAfterStep(StepDownloadBase);
    EXPECT_GE(first, 13);
    EXPECT_LT(first, 16);
    const std::vector<std::string> summary = WorkerSummary();
    const std::vector<std::string> expected = {"S2", "P26", "S3", "P40", "S4", "P53", "S5", "P66", "S6", "S7", "P67",
                                               "S9", "P68", "S8", "P69", "S10", "P70", "S12", "S13", "S14", "P80", "D"};
    EXPECT_EQ(summary, expected);
    EXPECT_EQ(recorder_.ClosingValues(), (std::vector<LPARAM>{75, 79, 80}));
    const InstallSettings& s = GetInstallSettings();
    EXPECT_EQ(Profile(s.installDir + "\\update.ini", "version", "quant"), kQuantName);
}

}  // namespace
