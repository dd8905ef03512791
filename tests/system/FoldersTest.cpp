#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "system/Folders.h"
#include "system/TextCodec.h"

namespace {

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Records the failure notices instead of showing a box, for the time of one test.
struct Notice {
    std::string text;
    std::string caption;
};
std::vector<Notice> g_notices;

class RecordedNotices {
public:
    RecordedNotices() : previous_(kav::SetFolderNoticeHandler(&Record)) { g_notices.clear(); }
    ~RecordedNotices() { kav::SetFolderNoticeHandler(previous_); }
    const std::vector<Notice>& All() const { return g_notices; }

private:
    static void Record(const char* text, const char* caption) { g_notices.push_back({text, caption}); }
    kav::FolderNoticeHandler previous_;
};

// ---- MakeDirectoryPath ----

struct MakeCase {
    const char* name;
    const char* relative;                  // below the test folder
    std::vector<const char*> folders;      // exist afterwards
    std::vector<const char*> absent;       // never created
};

class MakesPrefixes : public ::testing::TestWithParam<MakeCase> {};

TEST_P(MakesPrefixes, CreatesEveryFolderUpToTheLastBackslash) {
    kavtest::TempFolder base("kavmk");
    RecordedNotices notices;
    EXPECT_TRUE(MakeDirectoryPath((base.Path() + "\\" + GetParam().relative).c_str()));
    for (const char* folder : GetParam().folders) EXPECT_TRUE(IsFolder(base / folder)) << folder;
    for (const char* entry : GetParam().absent) EXPECT_FALSE(kavtest::PathExists(base / entry)) << entry;
    EXPECT_TRUE(notices.All().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MakesPrefixes,
    ::testing::Values(
        MakeCase{"file_path_gives_its_parents", "A\\B\\file.log", {"A", "A\\B"}, {"A\\B\\file.log"}},
        MakeCase{"trailing_backslash_makes_the_last_folder", "A\\B\\C\\", {"A", "A\\B", "A\\B\\C"}, {}},
        MakeCase{"last_name_is_never_made", "A\\B", {"A"}, {"A\\B"}},
        MakeCase{"doubled_backslash", "A\\\\B\\f", {"A", "A\\B"}, {"A\\B\\f"}},
        // Code page 936 names: the test runs with that ANSI code page.
        MakeCase{"gbk_names", "\xb0\xb2\xd7\xb0\\\xc8\xd5\xd6\xbe\\x.log", {"\xb0\xb2\xd7\xb0", "\xb0\xb2\xd7\xb0\\\xc8\xd5\xd6\xbe"}, {"\xb0\xb2\xd7\xb0\\\xc8\xd5\xd6\xbe\\x.log"}}),
    [](const ::testing::TestParamInfo<MakeCase>& info) { return std::string(info.param.name); });

TEST(MakeDirectoryPath, PathWithoutBackslashDoesNothing) {
    kavtest::TempFolder base("kavnob");
    char saved[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, saved);
    ::SetCurrentDirectoryA(base.Path().c_str());
    RecordedNotices notices;
    EXPECT_TRUE(MakeDirectoryPath("file.log"));
    EXPECT_TRUE(MakeDirectoryPath(""));
    EXPECT_TRUE(MakeDirectoryPath("C:"));
    EXPECT_FALSE(kavtest::PathExists(base / "file.log"));
    ::SetCurrentDirectoryA(saved);
    EXPECT_TRUE(notices.All().empty());
}

TEST(MakeDirectoryPath, ExistingFoldersAreLeftAsTheyAre) {
    kavtest::TempFolder base("kavall");
    ASSERT_TRUE(::CreateDirectoryA((base / "A").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((base / "A\\B").c_str(), nullptr));
    kavtest::WriteFileBytes(base / "A\\B\\keep.txt", "kept");
    RecordedNotices notices;
    EXPECT_TRUE(MakeDirectoryPath((base / "A\\B\\new.log").c_str()));
    EXPECT_EQ(kavtest::ReadFileBytes(base / "A\\B\\keep.txt"), "kept");
    EXPECT_TRUE(notices.All().empty());
}

struct FailCase {
    const char* name;
    const char* relative;
    const char* failingPrefix;  // shown in the notice, below the test folder
    std::vector<const char*> folders;
    std::vector<const char*> absent;
};

class StopsAtTheFirstFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(StopsAtTheFirstFailure, KeepsEarlierFoldersAndShowsThePrefix) {
    kavtest::TempFolder base("kavfail");
    // A file where a folder is wanted: the folder cannot be created.
    kavtest::WriteFileBytes(base / "plain.txt", "x");
    RecordedNotices notices;

    EXPECT_FALSE(MakeDirectoryPath((base.Path() + "\\" + GetParam().relative).c_str()));

    ASSERT_EQ(notices.All().size(), 1u);
    EXPECT_EQ(notices.All()[0].text, base.Path() + "\\" + GetParam().failingPrefix);
    EXPECT_EQ(notices.All()[0].caption, "提示");
    for (const char* folder : GetParam().folders) EXPECT_TRUE(IsFolder(base / folder)) << folder;
    for (const char* entry : GetParam().absent) EXPECT_FALSE(kavtest::PathExists(base / entry)) << entry;
    EXPECT_EQ(kavtest::ReadFileBytes(base / "plain.txt"), "x");
}

INSTANTIATE_TEST_SUITE_P(
    Table, StopsAtTheFirstFailure,
    ::testing::Values(
        // The first folder is made by the call; the second prefix names the file.
        FailCase{"second_folder_is_a_file", "A\\..\\plain.txt\\B\\f.log", "A\\..\\plain.txt\\", {"A"}, {"plain.txt\\B"}},
        FailCase{"first_folder_is_a_file", "plain.txt\\B\\f.log", "plain.txt\\", {}, {"plain.txt\\B"}},
        // A name no file system accepts; nothing after it is tried.
        FailCase{"second_folder_has_an_invalid_name", "A\\bad*name\\C\\f.log", "A\\bad*name\\", {"A"}, {"A\\C"}}),
    [](const ::testing::TestParamInfo<FailCase>& info) { return std::string(info.param.name); });

TEST(MakeDirectoryPath, PathsOf260BytesOrMoreAreRefusedWithoutANotice) {
    kavtest::TempFolder base("kavlong");
    const std::string head = base.Path() + "\\A\\";
    RecordedNotices notices;
    // 259 bytes is the longest path whose prefixes fit the 260-byte buffer.
    const std::string fits = head + std::string(259 - head.size(), 'f');
    ASSERT_EQ(fits.size(), 259u);
    EXPECT_TRUE(MakeDirectoryPath(fits.c_str()));
    EXPECT_TRUE(IsFolder(base / "A"));

    const std::string tooLong = base.Path() + "\\B\\" + std::string(260 - head.size(), 'f');
    ASSERT_EQ(tooLong.size(), 260u);
    EXPECT_FALSE(MakeDirectoryPath(tooLong.c_str()));
    EXPECT_FALSE(kavtest::PathExists(base / "B"));
    EXPECT_FALSE(MakeDirectoryPath((base.Path() + "\\C\\" + std::string(5000, 'f')).c_str()));
    EXPECT_FALSE(kavtest::PathExists(base / "C"));
    EXPECT_TRUE(notices.All().empty());
}

// What another thread saw of the failure notice before it closed it.
struct SeenBox {
    bool found = false;
    std::wstring caption;
    std::wstring text;
    bool okShown = false;
    bool otherButtonShown = false;
};

BOOL CALLBACK FindDialogOfThread(HWND window, LPARAM found) {
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770") return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

bool ButtonShown(HWND box, int id) {
    HWND button = ::GetDlgItem(box, id);
    return button != nullptr && ::IsWindowVisible(button);
}

// Waits for the message box of the given thread, reads it, then presses OK.
SeenBox CloseBoxOfThread(DWORD threadId) {
    SeenBox seen;
    HWND box = nullptr;
    const ULONGLONG until = ::GetTickCount64() + 20000;
    while (box == nullptr && ::GetTickCount64() < until) {
        ::EnumThreadWindows(threadId, &FindDialogOfThread, reinterpret_cast<LPARAM>(&box));
        if (box == nullptr || !::IsWindowVisible(box)) {
            box = nullptr;
            ::Sleep(50);
        }
    }
    if (box == nullptr) return seen;
    seen.found = true;
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(box, buffer, 1024);
    seen.caption = buffer;
    buffer[0] = L'\0';
    ::GetDlgItemTextW(box, 0xFFFF, buffer, 1024);  // the message text's static control
    seen.text = buffer;
    seen.okShown = ButtonShown(box, IDOK);
    for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) seen.otherButtonShown |= ButtonShown(box, id);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return seen;
}

TEST(MakeDirectoryPath, RealNoticeIsAnOkBoxCaptioned) {
    kavtest::TempFolder base("kavbox");
    kavtest::WriteFileBytes(base / "plain.txt", "x");
    SeenBox seen;
    std::thread closer([&seen, id = ::GetCurrentThreadId()] { seen = CloseBoxOfThread(id); });
    const bool made = MakeDirectoryPath((base / "plain.txt\\B\\f.log").c_str());
    closer.join();

    EXPECT_FALSE(made);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, L"提示");
    EXPECT_EQ(seen.text, kav::WideFromNarrow((base / "plain.txt\\").c_str(), kav::kGbkCodePage, 1024));
    EXPECT_TRUE(seen.okShown);
    EXPECT_FALSE(seen.otherButtonShown);
}

// ---- DeleteDirectoryTree ----

TEST(DeleteDirectoryTree, UsesSilentNoConfirmationAndNothingElse) {
    EXPECT_EQ(kav::kDeleteTreeFlags, 0x0014u);
    EXPECT_EQ(kav::kDeleteTreeFlags & FOF_ALLOWUNDO, 0u);
}

// The folder of deleted files of Wine's recycle bin (the desktop's trash); empty elsewhere.
std::string WineTrashFiles() {
    std::string home = kavtest::Env("WINEHOMEDIR");
    if (home.rfind("\\??\\", 0) == 0) home = home.substr(4);
    if (home.empty()) return {};
    return home + "\\.local\\share\\Trash\\files";
}

TEST(DeleteDirectoryTree, RemovesAFolderWithEverythingBeneathIt) {
    kavtest::TempFolder base("kavdel");
    char unique[64];
    std::snprintf(unique, sizeof unique, "kavdel-tree-%lu-%llu", ::GetCurrentProcessId(), ::GetTickCount64());
    const std::string tree = base / unique;
    ASSERT_TRUE(::CreateDirectoryA(tree.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((tree + "\\sub\\deeper").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((tree + "\\empty").c_str(), nullptr));
    kavtest::WriteFileBytes(tree + "\\a.txt", "a");
    kavtest::WriteFileBytes(tree + "\\sub\\b.bin", std::string(100000, 'b'));
    kavtest::WriteFileBytes(tree + "\\sub\\deeper\\c.txt", "c");
    kavtest::WriteFileBytes(base / "sibling.txt", "stays");

    EXPECT_TRUE(DeleteDirectoryTree(tree.c_str()));

    EXPECT_FALSE(kavtest::PathExists(tree));
    EXPECT_EQ(kavtest::ReadFileBytes(base / "sibling.txt"), "stays");
    const std::string trash = WineTrashFiles();
    if (!trash.empty()) {
        EXPECT_FALSE(kavtest::PathExists(trash + "\\" + unique)) << "moved to the recycle bin";
    }
}

TEST(DeleteDirectoryTree, RemovesASingleFile) {
    kavtest::TempFolder base("kavdelf");
    kavtest::WriteFileBytes(base / "one.zip", "zip");
    kavtest::WriteFileBytes(base / "two.zip", "zip");
    EXPECT_TRUE(DeleteDirectoryTree((base / "one.zip").c_str()));
    EXPECT_FALSE(kavtest::PathExists(base / "one.zip"));
    EXPECT_TRUE(kavtest::PathExists(base / "two.zip"));
}

BOOL CALLBACK CloseDialogsOfProcess(HWND window, LPARAM closed) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (pid == ::GetCurrentProcessId() && std::wstring(className) == L"#32770" && ::IsWindowVisible(window)) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        ++*reinterpret_cast<int*>(closed);
    }
    return TRUE;
}

// Closes any dialog of this process while it lives: without FOF_NOERRORUI a shell may report a
// failed deletion in a dialog of its own, which must not hold a test.
class DialogCloser {
public:
    DialogCloser()
        : thread_([this] {
              while (!stop_.load()) {
                  int closed = 0;
                  ::EnumWindows(&CloseDialogsOfProcess, reinterpret_cast<LPARAM>(&closed));
                  ::Sleep(50);
              }
          }) {}
    ~DialogCloser() {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(DeleteDirectoryTree, MissingPathIsFalse) {
    kavtest::TempFolder base("kavdelm");
    DialogCloser closer;
    EXPECT_FALSE(DeleteDirectoryTree((base / "not-there").c_str()));
    EXPECT_FALSE(DeleteDirectoryTree(nullptr));
    EXPECT_TRUE(IsFolder(base.Path()));
}

}  // namespace
