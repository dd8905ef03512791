// The real overwrite prompt: a message box that another thread finds, reads and answers.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ArchiveTestSupport.h"
#include "TestSupport.h"
#include "archive/CreateFolderChain.h"
#include "archive/OverwritePrompt.h"
#include "archive/UnzipToFolder.h"
#include "system/Handles.h"

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;  // the static control that holds a message box's text

struct SeenBox {
    std::wstring text;
    bool hasAbort = false, hasRetry = false, hasIgnore = false, hasOwner = true;
};

struct Search {
    HWND found = nullptr;
};

BOOL CALLBACK FindPrompt(HWND window, LPARAM lParam) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {}, caption[64] = {};
    ::GetClassNameW(window, className, 64);
    ::GetWindowTextW(window, caption, 64);
    if (process == ::GetCurrentProcessId() && std::wstring(className) == L"#32770" && std::wstring(caption) == L"警告" &&
        ::IsWindowVisible(window)) {
        reinterpret_cast<Search*>(lParam)->found = window;
        return FALSE;
    }
    return TRUE;
}

// Answers the boxes that come up, one answer each, and records them. Gives up after 30 s per box.
void AnswerBoxes(const std::vector<int>& answers, std::vector<SeenBox>& seen, std::atomic<bool>& stop) {
    for (const int answer : answers) {
        HWND box = nullptr;
        for (int waited = 0; waited < 30000 && box == nullptr && !stop; waited += 50) {
            Search search;
            ::EnumWindows(&FindPrompt, reinterpret_cast<LPARAM>(&search));
            box = search.found;
            if (box == nullptr) ::Sleep(50);
        }
        if (box == nullptr) return;
        SeenBox record;
        wchar_t text[1024] = {};
        ::GetDlgItemTextW(box, kMessageBoxTextId, text, 1024);
        record.text = text;
        record.hasAbort = ::GetDlgItem(box, IDABORT) != nullptr;
        record.hasRetry = ::GetDlgItem(box, IDRETRY) != nullptr;
        record.hasIgnore = ::GetDlgItem(box, IDIGNORE) != nullptr;
        record.hasOwner = ::GetWindow(box, GW_OWNER) != nullptr;
        seen.push_back(record);
        ::PostMessageW(::GetDlgItem(box, answer), BM_CLICK, 0, 0);
        // Wait until this box is gone before looking for the next one.
        for (int waited = 0; waited < 10000 && ::IsWindow(box); waited += 20) ::Sleep(20);
    }
}

TEST(OverwritePromptBox, TheRealBoxAsksAndRetryAsksAgain) {
    ASSERT_EQ(::GetACP(), 936u) << "this test needs the Chinese (PRC) system locale";
    kav::SetOverwritePromptHandler(nullptr);  // the real MessageBoxA
    kavtest::TempFolder folder("unzbox");
    const std::string destination = folder / "dest";
    const std::string target = destination + "\\a\\b.txt";
    ASSERT_TRUE(CreateFolderChain((destination + "\\a").c_str()));
    kavtest::WriteFileBytes(target, "old content");
    // Held open without sharing, the file cannot be replaced.
    kav::UniqueHandle holder(::CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    std::vector<SeenBox> seen;
    std::atomic<bool> stop{false};
    std::thread answerer(AnswerBoxes, std::vector<int>{IDRETRY, IDIGNORE}, std::ref(seen), std::ref(stop));
    const bool result = UnzipToFolder(kavtest::Fixture("tree.zip").c_str(), destination.c_str());
    stop = true;
    answerer.join();
    holder.Reset();

    EXPECT_TRUE(result);
    ASSERT_EQ(seen.size(), 2u);
    for (const SeenBox& box : seen) {
        EXPECT_EQ(box.text, L"无法覆盖文件\"a\\b.txt\",该文件可能正被使用!\n是否终止升级?");
        EXPECT_TRUE(box.hasAbort && box.hasRetry && box.hasIgnore);
        EXPECT_FALSE(box.hasOwner);
    }
    EXPECT_EQ(kavtest::ReadFileBytes(target), "old content");
    EXPECT_TRUE(kavtest::PathExists(destination + "\\c.txt"));
}

}  // namespace
