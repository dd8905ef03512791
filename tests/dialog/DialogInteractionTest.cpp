// The installer dialog on a real window: clicks at the pointer, the worker's posted messages and
// the start of an install, with stand-ins for the install engine and for the two calls that wait
// for the user.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "app/LocalizedTexts.h"
#include "cloud/IClient.h"
#include "engine/InstallationSwap.h"
#include "engine/WorkerMessages.h"
#include "ui/dialog/DialogLayout.h"
#include "ui/dialog/TKavrindelDlg.h"
#include "ui/toolkit/SharedDrawing.h"

namespace {

// What the stand-ins saw and what they answer.
struct StandIns {
    int manifestReads = 0;
    bool manifestResult = true;
    bool progressDuringManifest = false;
    void* workerArgument = nullptr;
    HANDLE workerGate = nullptr;  // the gated worker waits for it, then reports done
    int asks = 0;
    int answer = IDOK;
    std::wstring askText;
    std::wstring askCaption;
    int folderChoices = 0;
    std::string folderChoice;
    std::string folderTitle;
};
StandIns g_standIns;

bool ReadManifestStandIn(IClient&) {
    ++g_standIns.manifestReads;
    if (g_standIns.progressDuringManifest) PostInstallMessage(WM_INSTALL_PROGRESS, 16);
    return g_standIns.manifestResult;
}

unsigned __stdcall ReportingWorker(void* client) {
    g_standIns.workerArgument = client;
    PostInstallMessage(WM_INSTALL_STEP, StepDownloadBase);
    PostInstallMessage(WM_INSTALL_PROGRESS, 32);
    PostInstallMessage(WM_INSTALL_STEP, StepDeleteOldInstall);
    PostInstallMessage(WM_INSTALL_PROGRESS, 80);
    PostInstallMessage(WM_INSTALL_DONE, 0);
    return 1;
}

unsigned __stdcall GatedWorker(void* client) {
    g_standIns.workerArgument = client;
    ::WaitForSingleObject(g_standIns.workerGate, 30000);
    PostInstallMessage(WM_INSTALL_DONE, 0);
    return 1;
}

int AskStandIn(HWND, const wchar_t* text, const wchar_t* caption) {
    ++g_standIns.asks;
    g_standIns.askText = text;
    g_standIns.askCaption = caption;
    return g_standIns.answer;
}

std::string ChooseFolderStandIn(HWND, const char* title) {
    ++g_standIns.folderChoices;
    g_standIns.folderTitle = title;
    return g_standIns.folderChoice;
}

class Dialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CreateSharedDrawingObjects();
        SelectUiLanguage();
    }
    static void TearDownTestSuite() { DeleteSharedDrawingObjects(); }

    void SetUp() override {
        g_standIns = StandIns();
        g_standIns.workerGate = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        dialog = std::make_unique<TKavrindelDlg>();
        dialog->objectPrefix = kObjectPrefix;
        dialog->Create(kav::kDialogClassName, nullptr, kav::kDialogStyle, kav::kDialogExStyle);
        ASSERT_NE(dialog->hwnd, nullptr);
        dialog->CreateControls();
        dialog->PrepareInstall();
        // Every folder of the install inside this test's own temporary folder.
        InstallSettings& settings = GetInstallSettings();
        settings.installDir = root / settings.productFolderName;
        settings.logDir = settings.installDir + kav::kLogFolderSuffix;
        settings.tempDir = settings.installDir + kav::kTempFolderSuffix;
        dialog->engine.readManifest = ReadManifestStandIn;
        dialog->engine.worker = ReportingWorker;
        dialog->engine.askReinstall = AskStandIn;
        dialog->engine.chooseFolder = ChooseFolderStandIn;
        dialog->running = true;
        ::ShowWindow(dialog->hwnd, SW_SHOWNA);
        dialog->PlaceWindow();
        ::UpdateWindow(dialog->hwnd);  // the first paint sets the close box's hit area
        Pump();
    }

    void TearDown() override {
        ::SetEvent(g_standIns.workerGate);
        for (int i = 0; i < 100 && dialog->IsWorkerRunning(); ++i) ::Sleep(50);
        if (::IsWindow(dialog->hwnd)) ::DestroyWindow(dialog->hwnd);
        Pump();
        CloseInstallLog();
        dialog.reset();
        ::CloseHandle(g_standIns.workerGate);
    }

    // Handles what is queued for the thread, for a while or until done() holds. A drag request
    // (WM_NCLBUTTONDOWN on the caption) is counted, not run: it would start the system's move loop.
    bool Pump(const std::function<bool()>& done = nullptr, DWORD timeoutMs = 150) {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        for (;;) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_NCLBUTTONDOWN && message.wParam == HTCAPTION) {
                    ++dragRequests;
                    continue;
                }
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            if (done && done()) return true;
            const ULONGLONG now = ::GetTickCount64();
            if (now >= end) return !done;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        }
    }

    void Post(UINT message, LPARAM lParam) {
        ::PostMessageW(dialog->hwnd, message, 0, lParam);
        Pump();
    }

    void PointAt(POINT client) {
        ::ClientToScreen(dialog->hwnd, &client);
        ASSERT_TRUE(::SetCursorPos(client.x, client.y));
    }
    // A press (and for the close box a release) with the pointer on the given client point.
    void Press(POINT client, WPARAM keys = MK_LBUTTON) {
        PointAt(client);
        ::SendMessageW(dialog->hwnd, WM_LBUTTONDOWN, keys, MAKELPARAM(client.x, client.y));
        Pump();
    }
    void Release(POINT client) {
        PointAt(client);
        if (::IsWindow(dialog->hwnd)) ::SendMessageW(dialog->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        Pump();
    }

    // Keyboard messages as Windows sends them to the focused window: lParam holds the repeat count
    // 1, bit 30 when the key was already down (an auto-repeat), bits 30 and 31 on the release.
    void KeyDown(UINT key, int repeats = 0) {
        ::SendMessageW(dialog->hwnd, WM_KEYDOWN, key, 1);
        KeyRepeat(key, repeats);
    }
    void KeyRepeat(UINT key, int repeats) {
        for (int i = 0; i < repeats; ++i) ::SendMessageW(dialog->hwnd, WM_KEYDOWN, key, 1 | kav::kKeyWasDown);
        Pump();
    }
    void KeyUp(UINT key) {
        if (::IsWindow(dialog->hwnd)) ::SendMessageW(dialog->hwnd, WM_KEYUP, key, 1 | (LPARAM(3) << 30));
        Pump();
    }

    static POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
    POINT CloseBox() const { return Centre(dialog->closeRect); }
    static constexpr POINT kFreeSpot = {60, 60};

    std::string LogFile() const {
        WIN32_FIND_DATAA entry;
        HANDLE find = ::FindFirstFileA((GetInstallSettings().logDir + "\\*install.log").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return {};
        ::FindClose(find);
        return GetInstallSettings().logDir + "\\" + entry.cFileName;
    }
    std::string PriFile() const { return GetInstallSettings().installDir + "\\config\\kavrindel.Default.pri"; }
    static std::string AwareDpi(const std::string& file) {
        char value[16] = {};
        ::GetPrivateProfileStringA("kavrindel", "awaredpi", "<absent>", value, sizeof value, file.c_str());
        return value;
    }

    kavtest::TempFolder root{"kavdlg"};
    std::unique_ptr<TKavrindelDlg> dialog;
    int dragRequests = 0;
};

TEST_F(Dialog, StartsOnTheWelcomePage) {
    EXPECT_EQ(dialog->state, Ready);
    EXPECT_TRUE(dialog->customPanelHidden);
    EXPECT_EQ(MainWindowHandle, dialog->hwnd);
    // The close box of a 500-pixel-wide dialog after the first paint.
    EXPECT_EQ(dialog->closeRect.left, 483);
    EXPECT_EQ(dialog->closeRect.top, 7);
    EXPECT_EQ(dialog->closeRect.right, 493);
    EXPECT_EQ(dialog->closeRect.bottom, 17);
}

TEST_F(Dialog, WorkerMessagesDriveThePages) {
    Post(WM_INSTALL_PROGRESS, 16);
    EXPECT_EQ(dialog->state, Installing);
    EXPECT_EQ(dialog->progress->position, 16);
    Post(WM_INSTALL_STEP, StepDownloadConfig);
    EXPECT_EQ(dialog->statusText, L"Download configuration file");
    Post(WM_INSTALL_STEP, 15);  // not a step: nothing changes
    EXPECT_EQ(dialog->statusText, L"Download configuration file");
    EXPECT_EQ(dialog->state, Installing);

    Post(WM_INSTALL_FAILED, StepDownloadFix);
    EXPECT_EQ(dialog->state, Failed);
    EXPECT_EQ(dialog->statusText, L"Download runtime library Fail");
    Post(WM_INSTALL_PROGRESS, 48);  // late progress stays off the failure page
    EXPECT_EQ(dialog->state, Failed);
    EXPECT_EQ(dialog->progress->position, 16);
    Post(WM_INSTALL_FAILED, 99);  // fails again, keeps the text
    EXPECT_EQ(dialog->state, Failed);
    EXPECT_EQ(dialog->statusText, L"Download runtime library Fail");
    Post(WM_INSTALL_STEP, StepSaveVersion);
    EXPECT_EQ(dialog->state, Failed);
    EXPECT_EQ(dialog->statusText, L"Save version information");

    EXPECT_TRUE(::IsWindowVisible(dialog->progress->hwnd));
    Post(WM_INSTALL_DONE, 0);
    EXPECT_EQ(dialog->state, Finished);
    EXPECT_FALSE(::IsWindowVisible(dialog->progress->hwnd));
    Post(WM_INSTALL_PROGRESS, 250);
    EXPECT_EQ(dialog->state, Installing);
    EXPECT_EQ(dialog->progress->position, 250);
    EXPECT_FALSE(::IsWindowVisible(dialog->progress->hwnd));
}

TEST_F(Dialog, AFirstInstallStartsTheWorkerWithTheClientPart) {
    InstallSettings& settings = GetInstallSettings();
    ASSERT_TRUE(::CreateDirectoryA(settings.tempDir.c_str(), nullptr));
    kavtest::WriteFileBytes(settings.tempDir + "\\stale.zip", "old");
    dialog->engine.worker = GatedWorker;

    Press(Centre(dialog->buttonRect));
    EXPECT_EQ(g_standIns.asks, 0) << "no install folder: no warning";
    EXPECT_EQ(g_standIns.manifestReads, 1);
    EXPECT_EQ(dialog->state, Installing);
    EXPECT_TRUE(dialog->IsWorkerRunning());
    EXPECT_TRUE(Pump([] { return g_standIns.workerArgument != nullptr; }, 5000));
    EXPECT_EQ(g_standIns.workerArgument, static_cast<void*>(static_cast<IClient*>(dialog.get())));
    EXPECT_TRUE(kavtest::PathExists(settings.tempDir));
    EXPECT_FALSE(kavtest::PathExists(settings.tempDir + "\\stale.zip"));

    RECT bar = {};
    ::GetWindowRect(dialog->progress->hwnd, &bar);
    ::MapWindowPoints(nullptr, dialog->hwnd, reinterpret_cast<POINT*>(&bar), 2);
    EXPECT_EQ(bar.left, 34);
    EXPECT_EQ(bar.top, 260);
    EXPECT_EQ(bar.right - bar.left, 434);
    EXPECT_EQ(bar.bottom - bar.top, 15);

    const std::string log = kavtest::ReadFileBytes(LogFile());
    EXPECT_NE(log.find("Version: IE_9.5.9.1\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("用户点击安装，安装开始...\r\n"), std::string::npos) << log;

    ::SetEvent(g_standIns.workerGate);
    EXPECT_TRUE(Pump([this] { return dialog->state == Finished; }, 5000));
    EXPECT_TRUE(Pump([this] { return !dialog->IsWorkerRunning(); }, 5000));
}

TEST_F(Dialog, AFullRunOfReportsEndsOnTheFinishedPage) {
    Press(Centre(dialog->buttonRect));
    EXPECT_TRUE(Pump([this] { return dialog->state == Finished; }, 5000));
    EXPECT_EQ(dialog->statusText, L"Delete backup files");
    EXPECT_EQ(dialog->progress->position, 80);
    EXPECT_FALSE(::IsWindowVisible(dialog->progress->hwnd));
}

TEST_F(Dialog, AReinstallAsksAndCancelLeavesEverything) {
    InstallSettings& settings = GetInstallSettings();
    ASSERT_TRUE(::CreateDirectoryA(settings.installDir.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(settings.tempDir.c_str(), nullptr));
    kavtest::WriteFileBytes(settings.tempDir + "\\stale.zip", "old");
    g_standIns.answer = IDCANCEL;

    Press(Centre(dialog->buttonRect));
    EXPECT_EQ(g_standIns.asks, 1);
    EXPECT_EQ(g_standIns.askCaption, L"Warn");
    EXPECT_EQ(g_standIns.askText, ReinstallWarningText.english);
    EXPECT_EQ(dialog->state, Ready);
    EXPECT_EQ(g_standIns.manifestReads, 0);
    EXPECT_TRUE(kavtest::PathExists(settings.tempDir + "\\stale.zip"));
    EXPECT_FALSE(kavtest::PathExists(settings.logDir));

    g_standIns.answer = IDOK;
    Press(Centre(dialog->buttonRect));
    EXPECT_EQ(g_standIns.asks, 2);
    EXPECT_EQ(g_standIns.manifestReads, 1);
    EXPECT_FALSE(kavtest::PathExists(settings.tempDir + "\\stale.zip"));
    EXPECT_TRUE(Pump([this] { return dialog->state == Finished; }, 5000));
}

// A run cut between its two renames left the old installation moved aside: the next start puts it
// back before the reinstall warning looks for the install folder, which it then finds.
TEST_F(Dialog, TheStartPutsAMovedAsideInstallationBackBeforeTheWarning) {
    InstallSettings& settings = GetInstallSettings();
    const std::string aside = kav::MovedAsideFolderFor(settings.installDir);
    ASSERT_TRUE(::CreateDirectoryA(aside.c_str(), nullptr));
    kavtest::WriteFileBytes(aside + "\\kavrindel v9.5.exe", "old program");
    g_standIns.answer = IDCANCEL;

    Press(Centre(dialog->buttonRect));
    EXPECT_EQ(g_standIns.asks, 1);
    EXPECT_EQ(kavtest::ReadFileBytes(settings.installDir + "\\kavrindel v9.5.exe"), "old program");
    EXPECT_FALSE(kavtest::PathExists(aside));
    EXPECT_EQ(dialog->state, Ready);
}

TEST_F(Dialog, AFailedManifestShowsTheFailurePageAndClosesTheLog) {
    g_standIns.manifestResult = false;
    g_standIns.progressDuringManifest = true;  // handled only after the read has failed

    Press(Centre(dialog->buttonRect));
    EXPECT_EQ(dialog->state, Failed);
    EXPECT_EQ(dialog->statusText, L"Download install-statistics Fail");
    Pump();
    Pump();
    EXPECT_EQ(dialog->state, Failed) << "late progress of the manifest download left the failure page";
    EXPECT_EQ(g_standIns.workerArgument, nullptr);
    EXPECT_FALSE(dialog->IsWorkerRunning());

    const std::string logFile = LogFile();
    ASSERT_FALSE(logFile.empty());
    const std::string before = kavtest::ReadFileBytes(logFile);
    WriteLogLine("after the close");
    EXPECT_EQ(kavtest::ReadFileBytes(logFile), before) << "the log is still open";
}

TEST_F(Dialog, AWorkerThatCannotStartIsReportedAsAFailure) {
    dialog->engine.worker = nullptr;  // the C runtime refuses to start such a thread

    Press(Centre(dialog->buttonRect));
    EXPECT_EQ(dialog->state, Failed);
    EXPECT_EQ(dialog->statusText, L"Download install-statistics Fail");
    EXPECT_FALSE(dialog->IsWorkerRunning());
    const std::string logFile = LogFile();
    const std::string log = kavtest::ReadFileBytes(logFile);
    EXPECT_NE(log.find("\t\t启动安装线程失败\r\n"), std::string::npos) << log;
    WriteLogLine("after the close");
    EXPECT_EQ(kavtest::ReadFileBytes(logFile), log);
}

TEST_F(Dialog, TheMainButtonDoesNothingWhileInstallingOrFailed) {
    for (const LPARAM failAfter : {0, 1}) {
        Post(WM_INSTALL_PROGRESS, 20);
        if (failAfter) Post(WM_INSTALL_FAILED, StepDownloadBase);
        const DialogState before = dialog->state;
        dragRequests = 0;
        Press(Centre(dialog->buttonRect));
        EXPECT_EQ(dialog->state, before);
        EXPECT_EQ(dragRequests, 0) << "the press dragged the window";
        EXPECT_EQ(g_standIns.manifestReads, 0);
    }
    Press(kFreeSpot);
    EXPECT_EQ(dragRequests, 1);
    Press(kFreeSpot, MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(dragRequests, 1) << "Shift held: no drag";
}

TEST_F(Dialog, TheCloseBoxIsIgnoredWhileInstalling) {
    Post(WM_INSTALL_PROGRESS, 40);
    Release(CloseBox());
    EXPECT_TRUE(::IsWindow(dialog->hwnd));
    EXPECT_TRUE(dialog->running);
    EXPECT_TRUE(::IsWindowVisible(dialog->hwnd));

    Post(WM_INSTALL_FAILED, StepInstallBase);
    Release(CloseBox());
    EXPECT_FALSE(::IsWindow(dialog->hwnd));
    EXPECT_FALSE(dialog->running);
}

TEST_F(Dialog, TheCloseBoxRecordsTheDpiOnlyOnTheFinishedPage) {
    ASSERT_TRUE(::CreateDirectoryA(GetInstallSettings().installDir.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((GetInstallSettings().installDir + "\\config").c_str(), nullptr));
    Post(WM_INSTALL_DONE, 0);
    const ULONGLONG started = ::GetTickCount64();
    Release(CloseBox());
    EXPECT_GE(::GetTickCount64() - started, 490u) << "the close pauses 500 ms";
    EXPECT_FALSE(::IsWindow(dialog->hwnd));
    EXPECT_FALSE(dialog->running);
    EXPECT_EQ(AwareDpi(PriFile()), "0");  // Xvfb runs at 96 DPI
}

TEST_F(Dialog, TheCloseBoxOnTheWelcomePageWritesNoDpi) {
    ASSERT_TRUE(::CreateDirectoryA(GetInstallSettings().installDir.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((GetInstallSettings().installDir + "\\config").c_str(), nullptr));
    Press(kFreeSpot);  // a press elsewhere; the release over the close box still closes
    Release(CloseBox());
    EXPECT_FALSE(::IsWindow(dialog->hwnd));
    EXPECT_EQ(AwareDpi(PriFile()), "<absent>");
}

TEST_F(Dialog, AHeldEnterStartsOneInstallOnItsReleaseAndNeverOpens) {
    ASSERT_TRUE(::CreateDirectoryA(GetInstallSettings().installDir.c_str(), nullptr));
    dialog->engine.worker = GatedWorker;

    KeyDown(VK_RETURN, 5);
    EXPECT_EQ(g_standIns.asks, 0) << "the warning came up while Enter was still down";
    EXPECT_EQ(dialog->state, Ready);
    KeyUp(VK_RETURN);
    EXPECT_EQ(g_standIns.asks, 1);
    EXPECT_EQ(g_standIns.manifestReads, 1);
    EXPECT_EQ(dialog->state, Installing);

    // Enter held again through the end of the install: the finished page is not pressed.
    KeyDown(VK_RETURN, 3);
    ::SetEvent(g_standIns.workerGate);
    EXPECT_TRUE(Pump([this] { return dialog->state == Finished; }, 5000));
    KeyRepeat(VK_RETURN, 3);
    KeyUp(VK_RETURN);
    EXPECT_TRUE(::IsWindow(dialog->hwnd));
    EXPECT_EQ(g_standIns.manifestReads, 1);

    KeyDown(VK_RETURN);
    KeyUp(VK_RETURN);
    EXPECT_FALSE(::IsWindow(dialog->hwnd)) << "Enter on the finished page did not open";
    EXPECT_FALSE(dialog->running);
}

TEST_F(Dialog, EscapeClosesWhereTheCloseBoxDoes) {
    Post(WM_INSTALL_PROGRESS, 40);
    KeyDown(VK_ESCAPE);
    KeyUp(VK_ESCAPE);
    EXPECT_TRUE(::IsWindow(dialog->hwnd)) << "Escape closed the progress page";
    EXPECT_TRUE(dialog->running);

    KeyDown(VK_SPACE);
    KeyUp(VK_SPACE);
    Post(WM_INSTALL_FAILED, StepInstallBase);
    EXPECT_TRUE(::IsWindow(dialog->hwnd));
    KeyDown(VK_ESCAPE);
    KeyUp(VK_ESCAPE);
    EXPECT_FALSE(::IsWindow(dialog->hwnd));
    EXPECT_FALSE(dialog->running);
}

TEST_F(Dialog, TheCustomLinkShowsTheFolderChoice) {
    const std::string firstInstallDir = GetInstallSettings().installDir;
    const std::string tempDir = GetInstallSettings().tempDir;
    g_standIns.folderChoice = "D:\\Apps";

    Press(Centre(dialog->browseRect));  // the panel is hidden: this drags
    EXPECT_EQ(g_standIns.folderChoices, 0);
    EXPECT_EQ(dragRequests, 1);

    Press(Centre(dialog->customRect));
    EXPECT_FALSE(dialog->customPanelHidden);
    Press(Centre(dialog->browseRect));
    EXPECT_EQ(g_standIns.folderChoices, 1);
    EXPECT_EQ(g_standIns.folderTitle, "Browse Folder");
    EXPECT_EQ(GetInstallSettings().installDir, "D:\\Apps\\KAvrindel201805v9.5");
    EXPECT_EQ(GetInstallSettings().logDir, "D:\\Apps\\KAvrindel201805v9.5\\kavrindellog");
    EXPECT_EQ(GetInstallSettings().tempDir, tempDir);

    g_standIns.folderChoice = "D:\\";
    Press(Centre(dialog->browseRect));
    EXPECT_EQ(GetInstallSettings().installDir, "D:\\\\KAvrindel201805v9.5");

    g_standIns.folderChoice = "";  // cancelled
    Press(Centre(dialog->browseRect));
    EXPECT_EQ(g_standIns.folderChoices, 3);
    EXPECT_EQ(GetInstallSettings().installDir, "D:\\\\KAvrindel201805v9.5");

    Press(Centre(dialog->customRect));
    EXPECT_TRUE(dialog->customPanelHidden);
    EXPECT_EQ(dragRequests, 1);
}

TEST_F(Dialog, OpenOnTheFinishedPageStartsTheProgram) {
    const std::string installDir = GetInstallSettings().installDir;
    ASSERT_TRUE(::CreateDirectoryA(installDir.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((installDir + "\\config").c_str(), nullptr));
    const std::string standIn = kavtest::BinaryDir() + "\\tools\\sample-product\\kavrindel_standin.exe";
    ASSERT_TRUE(::CopyFileA(standIn.c_str(), (installDir + "\\kavrindel v9.5.exe").c_str(), FALSE));
    Post(WM_INSTALL_DONE, 0);

    Press(Centre(dialog->buttonRect));
    EXPECT_FALSE(::IsWindow(dialog->hwnd));
    EXPECT_FALSE(dialog->running);
    EXPECT_EQ(AwareDpi(PriFile()), "0");

    const std::string recordFile = installDir + "\\standin-record.txt";
    std::string record;
    for (int i = 0; i < 200 && record.find("pid=") == std::string::npos; ++i) {
        ::Sleep(50);
        record = kavtest::ReadFileBytes(recordFile);
    }
    EXPECT_NE(record.find("commandline=\"" + installDir + "\\kavrindel v9.5.exe\" end"), std::string::npos) << record;
    EXPECT_NE(record.find("currentdir=" + installDir), std::string::npos) << record;
    const size_t pid = record.find("pid=");
    ASSERT_NE(pid, std::string::npos);
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                   static_cast<DWORD>(std::stoul(record.substr(pid + 4))));
    ASSERT_NE(process, nullptr);
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, 10000);
    ::CloseHandle(process);
}

}  // namespace
