// Updates of a many-file release ended from outside at several moments, as a power cut or the task
// manager ends them (the whole process at once), then the next start's recovery: the install folder
// holds the old release or the new one, whole, never a mix.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "TestSupport.h"
#include "app/InstallSettings.h"
#include "engine/InstallRecovery.h"
#include "engine/InstallationSwap.h"
#include "system/Folders.h"
#include "system/Handles.h"
#include "system/ProductPaths.h"
#include "system/UninstallEntry.h"
#include "system/UrlProtocol.h"

namespace {

constexpr int kOldReleaseFiles = 400;
constexpr char kLogFolder[] = "kavrindellog";
constexpr DWORD kRunLimitMs = 120000;

std::string OwnFolder() {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string path = self;
    return path.substr(0, path.find_last_of('\\'));
}

void RemoveRegistrations() {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                     (std::string(kav::kUninstallRootWow64) + kav::UninstallKeyNameFor("201805")).c_str());
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kav::UrlSchemeNameFor("201805").c_str());
    ::DeleteFileA(kav::DesktopShortcutPath().c_str());
}

class UpdateKill : public ::testing::Test {
protected:
    void SetUp() override {
        kav::DerivePathsFrom(settings_, base_.Path(), "", "201805");
        RemoveRegistrations();
    }
    void TearDown() override { RemoveRegistrations(); }

    // Another release than the bucket's, of many files, where the update will replace it.
    void MakeOldRelease() {
        for (const std::string& folder : {settings_.installDir, kav::MovedAsideFolderFor(settings_.installDir),
                                          kav::DiscardFolderFor(settings_.installDir), settings_.tempDir}) {
            kavtest::RemoveTree(folder);
        }
        const std::string& root = settings_.installDir;
        ASSERT_TRUE(MakeDirectoryPath((root + "\\config\\").c_str()));
        kavtest::WriteFileBytes(root + "\\kavrindel v9.5.exe", "old program");
        kavtest::WriteFileBytes(root + "\\config\\kavrindel.Default.pri", "[kavrindel]\r\nlanguage=1033\r\n");
        for (int i = 0; i < kOldReleaseFiles; ++i) {
            const std::string folder = root + "\\Server\\old" + std::to_string(i % 10);
            if (i < 10) {
                ASSERT_TRUE(MakeDirectoryPath((folder + "\\").c_str()));
            }
            kavtest::WriteFileBytes(folder + "\\f" + std::to_string(i) + ".dat", "old file " + std::to_string(i));
        }
    }

    // Runs the update in a child process; ends it as soon as cut() holds (never, when cut is empty).
    // True when the process was ended from here.
    bool RunUpdate(const std::function<bool()>& cut) {
        std::string command = "\"" + OwnFolder() + "\\kavrindel_update_run.exe\" " +
                              kavtest::Env("KAV_BUCKET_ENDPOINT") + " \"" + base_.Path() + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child = {};
        EXPECT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &child));
        kav::UniqueHandle process(child.hProcess);
        kav::UniqueHandle thread(child.hThread);
        const ULONGLONG end = ::GetTickCount64() + kRunLimitMs;
        bool ended = false;
        while (::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
            if (cut && cut()) {
                ::TerminateProcess(process.Get(), 1);
                ended = true;
                break;
            }
            if (::GetTickCount64() > end) {
                ADD_FAILURE() << "the update did not end in time";
                ::TerminateProcess(process.Get(), 1);
                break;
            }
            ::Sleep(1);
        }
        ::WaitForSingleObject(process.Get(), INFINITE);
        DWORD exitCode = 99;
        ::GetExitCodeProcess(process.Get(), &exitCode);
        if (!ended) {
            EXPECT_EQ(exitCode, 0u) << "the update failed";
        }
        return ended;
    }

    // The next start: the recovery, then the staging folder emptied as before every install (here
    // without the shell, which is slow under Wine and not what this test is about).
    std::map<std::string, std::string> RecoveredTree() {
        kav::RecoverInterruptedSwap(settings_.installDir);
        kavtest::RemoveTree(settings_.tempDir);
        EXPECT_FALSE(kavtest::PathExists(kav::MovedAsideFolderFor(settings_.installDir)));
        EXPECT_FALSE(kavtest::PathExists(kav::DiscardFolderFor(settings_.installDir)));
        EXPECT_FALSE(kavtest::PathExists(settings_.tempDir));
        return kavtest::TreeOf(settings_.installDir, kLogFolder);
    }

    kavtest::TempFolder base_{"kav-kill"};
    InstallSettings settings_;
};

TEST_F(UpdateKill, EveryKillLeavesTheOldOrTheNewReleaseWhole) {
    MakeOldRelease();
    const auto oldTree = kavtest::TreeOf(settings_.installDir, kLogFolder);
    ASSERT_GT(oldTree.size(), static_cast<size_t>(kOldReleaseFiles));
    ASSERT_FALSE(RunUpdate({}));
    const auto newTree = RecoveredTree();
    ASSERT_GT(newTree.size(), 600u) << "the bucket's release has many files";
    ASSERT_NE(newTree, oldTree);

    const std::string install = settings_.installDir;
    const std::string aside = kav::MovedAsideFolderFor(install);
    const std::string discard = kav::DiscardFolderFor(install);
    const std::string staged = settings_.tempDir;
    struct Moment {
        const char* name;
        std::function<bool()> reached;
    };
    const Moment moments[] = {
        {"while unpacking", [&] { return kavtest::PathExists(staged + "\\Server\\data\\many\\d07"); }},
        {"with the staging complete", [&] { return kavtest::PathExists(staged + "\\update.ini"); }},
        {"once the old release is aside", [&] { return kavtest::PathExists(aside); }},
        {"once the new release is in place", [&] { return kavtest::PathExists(install + "\\update.ini"); }},
        {"while the old release is deleted", [&] { return kavtest::PathExists(discard); }},
    };
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.name);
        MakeOldRelease();
        EXPECT_TRUE(RunUpdate(moment.reached)) << "the moment was never reached";
        const auto tree = RecoveredTree();
        EXPECT_TRUE(tree == oldTree || tree == newTree)
            << tree.size() << " entries: neither release (old " << oldTree.size() << ", new " << newTree.size() << ")";
        std::printf("killed %s: the %s release\n", moment.name, tree == newTree ? "new" : tree == oldTree ? "old" : "broken");
    }
}

}  // namespace
