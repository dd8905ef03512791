#pragma once
// The installer's modal message loop. It runs on the dialog's thread and lets through only what
// concerns the dialog: its own window and the windows up to three parent steps below it, every
// message numbered WM_USER or above (the worker's reports among them) and WM_PAINT. The system
// command SC_CLOSE with lParam 0 closes the dialog in every state.
#include <windows.h>

#include <functional>

namespace kav {

enum class LoopAction { Close, Dispatch, Drop };

// The parent of a window (GetParent in the real loop); a table of cases gives its own.
using ParentLookup = std::function<HWND(HWND)>;

// What the loop does with one message for the dialog window `dialog`.
LoopAction FilterLoopMessage(const MSG& message, HWND dialog, const ParentLookup& parentOf);

// Runs the loop until running() is false, WM_QUIT arrives, or the dialog window no longer exists
// (for example destroyed by a WM_CLOSE that reached the default procedure). close() is called for
// an intercepted SC_CLOSE and is expected to clear running() and destroy the window.
void RunModalLoop(HWND dialog, const std::function<bool()>& running, const std::function<void()>& close);

}  // namespace kav
