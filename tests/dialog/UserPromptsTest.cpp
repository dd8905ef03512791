// The two calls of the dialog that wait for the user, run for real: another thread finds the
// system's window and answers it, so nothing here waits for a person.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "ui/dialog/InstallEngine.h"

namespace {

struct FoundDialog {
    DWORD thread;
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<FoundDialog*>(context);
    wchar_t className[32] = {};
    ::GetClassNameW(window, className, 32);
    if (std::wstring(className) == L"#32770" && ::GetWindow(window, GW_OWNER) == search->owner &&
        ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Waits (at most 15 s) for a visible dialog box owned by owner on the given thread and presses
// the button with the given id. Returns the box's handle, or null when none appeared.
HWND AnswerOwnedDialog(DWORD thread, HWND owner, int button, std::atomic<bool>& hadButton) {
    for (int i = 0; i < 300; ++i) {
        FoundDialog search = {thread, owner, nullptr};
        ::EnumThreadWindows(thread, FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            ::Sleep(200);  // let the box finish its set-up
            hadButton = ::GetDlgItem(search.found, button) != nullptr;
            ::PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(search.found, button)));
            // A box that ignored the press is closed, so that the test cannot hang.
            for (int j = 0; j < 50 && ::IsWindow(search.found); ++j) ::Sleep(100);
            if (::IsWindow(search.found)) ::PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
            return search.found;
        }
        ::Sleep(50);
    }
    return nullptr;
}

class UserPrompts : public ::testing::Test {
protected:
    void SetUp() override {
        owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override { ::DestroyWindow(owner); }
    HWND owner = nullptr;
};

TEST_F(UserPrompts, TheReinstallWarningOffersOkAndCancel) {
    const DWORD self = ::GetCurrentThreadId();
    for (const int button : {IDOK, IDCANCEL}) {
        std::atomic<bool> hadButton = false;
        HWND box = nullptr;
        std::thread answerer([&] { box = AnswerOwnedDialog(self, owner, button, hadButton); });
        const int answer = kav::AskReinstall(owner, L"The folder exists. Install again?", L"Warn");
        answerer.join();
        ASSERT_NE(box, nullptr) << "no box owned by the dialog appeared";
        EXPECT_TRUE(hadButton) << button;
        EXPECT_EQ(answer, button);
    }
}

TEST_F(UserPrompts, TheFolderBrowserGivesNothingWhenCancelled) {
    const DWORD self = ::GetCurrentThreadId();
    std::atomic<bool> hadButton = false;
    HWND box = nullptr;
    std::thread answerer([&] { box = AnswerOwnedDialog(self, owner, IDCANCEL, hadButton); });
    const std::string choice = kav::ChooseFolder(owner, "Browse Folder");
    answerer.join();
    ASSERT_NE(box, nullptr) << "no folder browser owned by the dialog appeared";
    EXPECT_EQ(choice, "");
}

TEST_F(UserPrompts, TheFolderBrowserGivesTheChosenFoldersPath) {
    const DWORD self = ::GetCurrentThreadId();
    std::atomic<bool> hadButton = false;
    HWND box = nullptr;
    std::thread answerer([&] { box = AnswerOwnedDialog(self, owner, IDOK, hadButton); });
    const std::string choice = kav::ChooseFolder(owner, "Browse Folder");
    answerer.join();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(hadButton);
    // The browser starts on its first item; whatever it is, the answer is a full path of a folder.
    ASSERT_FALSE(choice.empty());
    EXPECT_EQ(choice.substr(1, 2), ":\\") << choice;
    const DWORD attributes = ::GetFileAttributesA(choice.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << choice;
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << choice;
}

}  // namespace
