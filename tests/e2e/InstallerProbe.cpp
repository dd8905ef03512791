// A small console tool for the end-to-end tests and the demo: it finds the installer's windows in
// the shared Wine desktop and tells the Linux side where they are, so that xdotool can click them.
//
//   installer_probe dialog [timeout-ms]        "x y width height" of the visible, placed installer dialog
//   installer_probe gone [timeout-ms]          waits until no installer dialog is visible
//   installer_probe button <caption> <id> [timeout-ms]
//                                              "x y" of the centre of a button of a message box
//   installer_probe box-text <caption> [timeout-ms]
//                                              the message box's text, UTF-8
//   installer_probe close                      posts WM_SYSCOMMAND SC_CLOSE (lParam 0) to the dialog
//   installer_probe active                     exit 0 when the visible dialog is the foreground window
//   installer_probe pixels x y [x y ...]       "r g b" per client point, read from the dialog's own
//                                              window surface (what the dialog last painted)
//
// Exit status 0 on success, 1 when the window did not appear (or go) in time, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kDialogClass[] = L"TModalWnd";
constexpr wchar_t kDialogText[] = L"Kavrindel";
constexpr wchar_t kMessageBoxClass[] = L"#32770";
constexpr DWORD kDefaultTimeoutMs = 30000;
constexpr DWORD kPollMs = 50;

HWND VisibleDialog() {
    HWND window = ::FindWindowW(kDialogClass, kDialogText);
    return window != nullptr && ::IsWindowVisible(window) ? window : nullptr;
}

struct BoxSearch {
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    wchar_t className[64] = {};
    wchar_t caption[256] = {};
    ::GetClassNameW(window, className, 64);
    ::GetWindowTextW(window, caption, 256);
    if (std::wcscmp(className, kMessageBoxClass) == 0 && search->caption == caption && ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleBox(const std::wstring& caption) {
    BoxSearch search = {caption, nullptr};
    ::EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Find>
HWND WaitFor(Find find, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND window = find()) return window;
        if (::GetTickCount64() >= end) return nullptr;
        ::Sleep(kPollMs);
    }
}

std::string Utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

DWORD TimeoutArg(int argc, wchar_t** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::wcstoul(argv[index], nullptr, 10)) : kDefaultTimeoutMs;
}

}  // namespace

// Wide arguments: a caption such as 警告 arrives intact whatever the ANSI code page.
int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring command = argv[1];
    if (command == L"dialog") {
        // The installer shows its window first and gives it its size and place right after; a
        // window caught in between is still 0 by 0, so the wait is for a placed dialog.
        RECT rect = {};
        HWND dialog = WaitFor(
            [&rect] {
                HWND window = VisibleDialog();
                return window != nullptr && ::GetWindowRect(window, &rect) && rect.right > rect.left &&
                               rect.bottom > rect.top
                           ? window
                           : nullptr;
            },
            TimeoutArg(argc, argv, 2));
        if (dialog == nullptr) return 1;
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        return 0;
    }
    if (command == L"gone") {
        const ULONGLONG end = ::GetTickCount64() + TimeoutArg(argc, argv, 2);
        while (VisibleDialog() != nullptr) {
            if (::GetTickCount64() >= end) return 1;
            ::Sleep(kPollMs);
        }
        return 0;
    }
    if (command == L"button" && argc >= 4) {
        const std::wstring caption = argv[2];
        const int id = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
        HWND box = WaitFor([&] { return VisibleBox(caption); }, TimeoutArg(argc, argv, 4));
        if (box == nullptr) return 1;
        HWND button = ::GetDlgItem(box, id);
        if (button == nullptr) return 1;
        RECT rect = {};
        ::GetWindowRect(button, &rect);
        std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        return 0;
    }
    if (command == L"box-text" && argc >= 3) {
        const std::wstring caption = argv[2];
        HWND box = WaitFor([&] { return VisibleBox(caption); }, TimeoutArg(argc, argv, 3));
        if (box == nullptr) return 1;
        // The message text is the box's static control with the id 0xFFFF.
        wchar_t text[2048] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
        std::printf("%s\n", Utf8(text).c_str());
        return 0;
    }
    if (command == L"pixels" && argc >= 4 && argc % 2 == 0) {
        HWND dialog = VisibleDialog();
        if (dialog == nullptr) return 1;
        HDC dc = ::GetDC(dialog);
        for (int i = 2; i + 1 < argc; i += 2) {
            const COLORREF colour = ::GetPixel(dc, static_cast<int>(std::wcstol(argv[i], nullptr, 10)),
                                                 static_cast<int>(std::wcstol(argv[i + 1], nullptr, 10)));
            std::printf("%d %d %d\n", GetRValue(colour), GetGValue(colour), GetBValue(colour));
        }
        ::ReleaseDC(dialog, dc);
        return 0;
    }
    if (command == L"active") {
        HWND dialog = VisibleDialog();
        return dialog != nullptr && ::GetForegroundWindow() == dialog ? 0 : 1;
    }
    if (command == L"close") {
        HWND dialog = ::FindWindowW(kDialogClass, kDialogText);
        if (dialog == nullptr) return 1;
        return ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    }
    return 2;
}
