#include "app/ModalLoop.h"

namespace kav {

namespace {

constexpr int kMaxParentSteps = 3;

bool IsDialogOrBelow(HWND window, HWND dialog, const ParentLookup& parentOf) {
    for (int step = 0; step <= kMaxParentSteps && window != nullptr; ++step) {
        if (window == dialog) return true;
        if (step < kMaxParentSteps) window = parentOf(window);
    }
    return false;
}

}  // namespace

LoopAction FilterLoopMessage(const MSG& message, HWND dialog, const ParentLookup& parentOf) {
    if (message.message == WM_SYSCOMMAND && message.wParam == SC_CLOSE && message.lParam == 0) {
        return LoopAction::Close;
    }
    if (message.message >= WM_USER || message.message == WM_PAINT) return LoopAction::Dispatch;
    return IsDialogOrBelow(message.hwnd, dialog, parentOf) ? LoopAction::Dispatch : LoopAction::Drop;
}

void RunModalLoop(HWND dialog, const std::function<bool()>& running, const std::function<void()>& close) {
    const ParentLookup parentOf = [](HWND window) { return ::GetParent(window); };
    while (running() && ::IsWindow(dialog)) {
        MSG message;
        // 0 is WM_QUIT; -1 cannot happen without a window filter, but must not spin either.
        if (::GetMessageW(&message, nullptr, 0, 0) <= 0) return;
        switch (FilterLoopMessage(message, dialog, parentOf)) {
            case LoopAction::Close: close(); break;
            case LoopAction::Dispatch:
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
                break;
            case LoopAction::Drop: break;
        }
    }
}

}  // namespace kav
