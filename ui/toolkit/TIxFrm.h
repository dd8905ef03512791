#pragma once
// The base of every window of the toolkit: an object that owns one window and receives all of its
// messages through StaticWndProc.
#include <windows.h>

// The WndProc result that leaves a message to DefWindowProcW.
constexpr LRESULT kNotHandled = -1;

class TIxFrm {
public:
    // The message handler of the object. kNotHandled hands the message to DefWindowProcW; any
    // other value is the message's result.
    virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Registers the class (a class registered before is reused) and creates the window with this
    // object as its creation parameter. hwnd is set during creation, at WM_NCCREATE.
    HWND Create(const wchar_t* className, HWND parent, DWORD style, DWORD exStyle);

    HWND hwnd = nullptr;

protected:
    TIxFrm() = default;
    // Objects are destroyed through their own type (the toolkit never deletes them). A window that
    // outlives its object is detached from it, so its later messages go to DefWindowProcW.
    ~TIxFrm();
    TIxFrm(const TIxFrm&) = delete;
    TIxFrm& operator=(const TIxFrm&) = delete;
};

// The window procedure of every toolkit class: finds the object of the window and routes the
// message to its WndProc.
LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
