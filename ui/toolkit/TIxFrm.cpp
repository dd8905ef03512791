#include "ui/toolkit/TIxFrm.h"

namespace {

// CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS: a double click's second press arrives as
// WM_LBUTTONDBLCLK, which no toolkit window handles.
constexpr UINT kToolkitClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
constexpr int kObjectSlot = 0;  // offset of the object pointer in the window's extra bytes

}  // namespace

HWND TIxFrm::Create(const wchar_t* className, HWND parent, DWORD style, DWORD exStyle) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = kToolkitClassStyle;
    windowClass.lpfnWndProc = StaticWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = sizeof(TIxFrm*);
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;  // every paint covers the whole client area itself
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = className;
    windowClass.hIconSm = nullptr;
    ::RegisterClassExW(&windowClass);  // fails harmlessly when the class exists already

    return ::CreateWindowExW(exStyle, className, nullptr, style, 0, 0, 0, 0, parent, nullptr, instance, this);
}

TIxFrm::~TIxFrm() {
    if (hwnd != nullptr && ::IsWindow(hwnd) &&
        ::GetWindowLongPtrW(hwnd, kObjectSlot) == reinterpret_cast<LONG_PTR>(this)) {
        ::SetWindowLongPtrW(hwnd, kObjectSlot, 0);
    }
}

LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TIxFrm* object = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        object = static_cast<TIxFrm*>(create->lpCreateParams);
        if (object != nullptr) {
            object->hwnd = window;
            ::SetWindowLongPtrW(window, kObjectSlot, reinterpret_cast<LONG_PTR>(object));
        }
    } else {
        // Messages that come before WM_NCCREATE find no object yet.
        object = reinterpret_cast<TIxFrm*>(::GetWindowLongPtrW(window, kObjectSlot));
    }
    if (object != nullptr) {
        const LRESULT result = object->WndProc(message, wParam, lParam);
        if (result != kNotHandled) return result;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}
