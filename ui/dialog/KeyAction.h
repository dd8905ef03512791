#pragma once
// What the Enter and Escape keys do on the dialog, decided from the key and the page.
//
// A key acts when it is released, and only when its first press (not an auto-repeat) came to the
// dialog on the same page. So a held key acts once, and never on a page that came up while it was
// held (the finished page, the reinstall warning, which would take the repeats as its own Enter);
// and a key whose press went to another window (the Enter that started the installer) does nothing.
#include <windows.h>

#include "ui/dialog/DialogState.h"

namespace kav {

enum class KeyAction {
    Nothing,
    StartInstall,  // Enter on the welcome page: the main button
    OpenProgram,   // Enter on the finished page: the main button ("Open")
    CloseBox,      // Escape wherever the close box acts (not while installing)
};

// The action of a key on a page, the same as a click on the main button or the close box would
// have there. Space is not a key of the dialog: a stray space typed into the newly shown window
// must not start an install, and the drawn button shows no focus that would invite it.
KeyAction KeyActionFor(UINT virtualKey, DialogState state);

// WM_KEYDOWN's lParam bit 30: the key was already down (an auto-repeat).
constexpr LPARAM kKeyWasDown = LPARAM(1) << 30;

// The press of the one key that may act on its release.
class KeyGesture {
public:
    // WM_KEYDOWN. A first press remembers the key and the page (in place of an earlier key); an
    // auto-repeat changes nothing.
    void Press(UINT virtualKey, LPARAM lParam, DialogState state);
    // WM_KEYUP. For the remembered key: its action when it was pressed on this same page, else
    // Nothing, and the press is forgotten. The release of any other key (a modifier let go while
    // Enter is down) changes nothing.
    KeyAction Release(UINT virtualKey, DialogState state);
    // The dialog lost the keyboard: a release that comes later belongs to nobody.
    void Forget();

private:
    bool pressed = false;
    UINT key = 0;
    DialogState pressState = Ready;
};

}  // namespace kav
