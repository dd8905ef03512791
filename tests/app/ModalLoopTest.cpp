#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "app/ModalLoop.h"

namespace {

using kav::LoopAction;

// Window handles of a made-up family: dialog <- c1 <- c2 <- c3 <- c4, lone (no parent), other
// (an unrelated window) <- otherChild, and orphan whose parent lookup gives null.
HWND Fake(int n) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000 + n * 0x10)); }
const HWND kDialog = Fake(0);
const HWND kC1 = Fake(1);
const HWND kC2 = Fake(2);
const HWND kC3 = Fake(3);
const HWND kC4 = Fake(4);
const HWND kOther = Fake(5);
const HWND kOtherChild = Fake(6);

int g_nullLookups = 0;

HWND FakeParent(HWND window) {
    static const std::map<HWND, HWND> parents = {
        {kC1, kDialog}, {kC2, kC1}, {kC3, kC2}, {kC4, kC3}, {kOtherChild, kOther}};
    if (window == nullptr) ++g_nullLookups;
    const auto found = parents.find(window);
    return found == parents.end() ? nullptr : found->second;
}

struct FilterCase {
    const char* name;
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LoopAction expected;
};

class LoopFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(LoopFilter, DecidesEachMessage) {
    const FilterCase& c = GetParam();
    MSG message = {};
    message.hwnd = c.window;
    message.message = c.message;
    message.wParam = c.wParam;
    message.lParam = c.lParam;
    g_nullLookups = 0;
    EXPECT_EQ(kav::FilterLoopMessage(message, kDialog, FakeParent), c.expected);
    EXPECT_EQ(g_nullLookups, 0) << "a step from a null parent must not be taken";
}

constexpr UINT kWorkerProgress = 1131;

INSTANTIATE_TEST_SUITE_P(
    Cases, LoopFilter,
    ::testing::Values(
        FilterCase{"CloseCommandToDialog", kDialog, WM_SYSCOMMAND, SC_CLOSE, 0, LoopAction::Close},
        FilterCase{"CloseCommandToUnrelatedWindow", kOther, WM_SYSCOMMAND, SC_CLOSE, 0, LoopAction::Close},
        FilterCase{"CloseCommandWithoutWindow", nullptr, WM_SYSCOMMAND, SC_CLOSE, 0, LoopAction::Close},
        FilterCase{"CloseCommandWithLParamToDialog", kDialog, WM_SYSCOMMAND, SC_CLOSE, 1, LoopAction::Dispatch},
        FilterCase{"CloseCommandWithLParamToUnrelated", kOther, WM_SYSCOMMAND, SC_CLOSE, 0x00640064,
                   LoopAction::Drop},
        FilterCase{"CloseCommandWithLowBitsIsNotExact", kOther, WM_SYSCOMMAND, SC_CLOSE | 2, 0, LoopAction::Drop},
        FilterCase{"OtherSystemCommandToUnrelated", kOther, WM_SYSCOMMAND, SC_MINIMIZE, 0, LoopAction::Drop},
        FilterCase{"OtherSystemCommandToGrandchild", kC2, WM_SYSCOMMAND, SC_MOVE, 0, LoopAction::Dispatch},
        FilterCase{"UserMessageToUnrelated", kOther, WM_USER, 0, 0, LoopAction::Dispatch},
        FilterCase{"WorkerMessageToUnrelatedChild", kOtherChild, kWorkerProgress, 0, 40, LoopAction::Dispatch},
        FilterCase{"WorkerMessageWithoutWindow", nullptr, kWorkerProgress, 0, 40, LoopAction::Dispatch},
        FilterCase{"HighestMessageNumber", kOther, 0xFFFF, 0, 0, LoopAction::Dispatch},
        FilterCase{"JustBelowUserToUnrelated", kOther, WM_USER - 1, 0, 0, LoopAction::Drop},
        FilterCase{"PaintToUnrelated", kOther, WM_PAINT, 0, 0, LoopAction::Dispatch},
        FilterCase{"PaintWithoutWindow", nullptr, WM_PAINT, 0, 0, LoopAction::Dispatch},
        FilterCase{"MouseToDialog", kDialog, WM_LBUTTONDOWN, MK_LBUTTON, 0, LoopAction::Dispatch},
        FilterCase{"MouseToChild", kC1, WM_MOUSEMOVE, 0, 0, LoopAction::Dispatch},
        FilterCase{"MouseToGrandchild", kC2, WM_LBUTTONUP, 0, 0, LoopAction::Dispatch},
        FilterCase{"MouseThreeStepsBelow", kC3, WM_LBUTTONDOWN, MK_LBUTTON, 0, LoopAction::Dispatch},
        FilterCase{"MouseFourStepsBelow", kC4, WM_LBUTTONDOWN, MK_LBUTTON, 0, LoopAction::Drop},
        FilterCase{"MouseToUnrelated", kOther, WM_LBUTTONDOWN, MK_LBUTTON, 0, LoopAction::Drop},
        FilterCase{"MouseToUnrelatedChild", kOtherChild, WM_MOUSEMOVE, 0, 0, LoopAction::Drop},
        FilterCase{"KeyToUnrelated", kOther, WM_KEYDOWN, VK_RETURN, 0, LoopAction::Drop},
        FilterCase{"KeyToChild", kC1, WM_KEYDOWN, VK_RETURN, 0, LoopAction::Dispatch},
        FilterCase{"TimerWithoutWindow", nullptr, WM_TIMER, 1, 0, LoopAction::Drop},
        FilterCase{"CloseToUnrelated", kOther, WM_CLOSE, 0, 0, LoopAction::Drop},
        FilterCase{"CloseToDialog", kDialog, WM_CLOSE, 0, 0, LoopAction::Dispatch}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

TEST(LoopFilter, AWindowlessMessageNeverMatchesAMissingDialog) {
    MSG message = {};
    message.message = WM_LBUTTONDOWN;
    EXPECT_EQ(kav::FilterLoopMessage(message, nullptr, FakeParent), LoopAction::Drop);
}

// --- The loop itself, over real windows of this thread. ---

std::vector<std::pair<HWND, UINT>> g_received;
constexpr UINT kProbe = WM_USER + 5;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN || message == WM_SYSCOMMAND || message == WM_KEYDOWN || message >= WM_USER) {
        g_received.emplace_back(window, message);
        return 0;  // not even SC_CLOSE reaches the default procedure
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class RealLoop : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClass;
        ::RegisterClassExW(&windowClass);
        dialog = Make(WS_POPUP, nullptr);
        HWND parent = dialog;
        for (HWND& child : children) parent = child = Make(WS_CHILD, parent);
        unrelated = Make(WS_POPUP, nullptr);
        ASSERT_NE(dialog, nullptr);
        ASSERT_NE(children[3], nullptr);
        ASSERT_NE(unrelated, nullptr);
        g_received.clear();
        // Nothing of an earlier test may be left in the queue.
        MSG stale;
        while (::PeekMessageW(&stale, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void TearDown() override {
        if (::IsWindow(dialog)) ::DestroyWindow(dialog);
        ::DestroyWindow(unrelated);
    }
    static HWND Make(DWORD style, HWND parent) {
        return ::CreateWindowExW(0, kClass, L"", style, 0, 0, 10, 10, parent, nullptr, ::GetModuleHandleW(nullptr),
                                 nullptr);
    }
    bool Received(HWND window, UINT message) const {
        for (const auto& entry : g_received) {
            if (entry.first == window && entry.second == message) return true;
        }
        return false;
    }
    // Runs the loop with a watchdog that ends it with WM_QUIT after 20 s, so a fault cannot hang.
    bool RunLoop() {
        const DWORD thread = ::GetCurrentThreadId();
        HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        bool watchdogFired = false;
        std::thread watchdog([&] {
            if (::WaitForSingleObject(stop, 20000) == WAIT_TIMEOUT) {
                watchdogFired = true;
                ::PostThreadMessageW(thread, WM_QUIT, 0, 0);
            }
        });
        kav::RunModalLoop(
            dialog, [this] { return running; },
            [this] {
                ++closes;
                running = false;
                ::DestroyWindow(dialog);
            });
        ::SetEvent(stop);
        watchdog.join();
        ::CloseHandle(stop);
        return !watchdogFired;
    }

    static constexpr wchar_t kClass[] = L"KavLoopTestWindow";
    HWND dialog = nullptr;
    HWND children[4] = {};
    HWND unrelated = nullptr;
    bool running = true;
    int closes = 0;
};

TEST_F(RealLoop, DispatchesOnlyTheDialogsFamilyAndWorkerMessages) {
    for (HWND window : {dialog, children[0], children[1], children[2], children[3], unrelated}) {
        ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    }
    ::PostMessageW(unrelated, WM_KEYDOWN, VK_SPACE, 0);
    ::PostMessageW(unrelated, kProbe, 0, 0);
    ::PostMessageW(unrelated, WM_SYSCOMMAND, SC_CLOSE, 1);  // not intercepted, and dropped
    ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 1);     // not intercepted, dispatched
    ::PostMessageW(unrelated, WM_SYSCOMMAND, SC_CLOSE, 0);  // closes, whichever window it names
    ::PostMessageW(dialog, kProbe, 0, 0);                   // after the close: never handled

    ASSERT_TRUE(RunLoop());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(::IsWindow(dialog));
    for (HWND window : {dialog, children[0], children[1], children[2]}) {
        EXPECT_TRUE(Received(window, WM_LBUTTONDOWN)) << window;
    }
    EXPECT_FALSE(Received(children[3], WM_LBUTTONDOWN)) << "four parent steps below the dialog";
    EXPECT_FALSE(Received(unrelated, WM_LBUTTONDOWN));
    EXPECT_FALSE(Received(unrelated, WM_KEYDOWN));
    EXPECT_TRUE(Received(unrelated, kProbe));
    EXPECT_FALSE(Received(unrelated, WM_SYSCOMMAND));
    EXPECT_TRUE(Received(dialog, WM_SYSCOMMAND));
    EXPECT_FALSE(Received(dialog, kProbe));
}

TEST_F(RealLoop, EndsWhenTheDialogWindowIsDestroyedAnotherWay) {
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);  // the default procedure destroys the window
    ASSERT_TRUE(RunLoop()) << "the loop went on after its window had gone";
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(running);
    EXPECT_FALSE(::IsWindow(dialog));
}

TEST_F(RealLoop, EndsAtOnceOnQuit) {
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0);
    ::PostMessageW(unrelated, kProbe, 0, 0);  // queued after the quit: never handled
    ASSERT_TRUE(RunLoop());
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(g_received.empty());
}

TEST_F(RealLoop, DoesNotStartWithoutADialogWindow) {
    ::DestroyWindow(dialog);
    ::PostMessageW(unrelated, kProbe, 0, 0);
    ASSERT_TRUE(RunLoop());
    EXPECT_TRUE(g_received.empty());
}

}  // namespace
