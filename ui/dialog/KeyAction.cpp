#include "ui/dialog/KeyAction.h"

namespace kav {

KeyAction KeyActionFor(UINT virtualKey, DialogState state) {
    switch (virtualKey) {
        case VK_RETURN:
            if (state == Ready) return KeyAction::StartInstall;
            if (state == Finished) return KeyAction::OpenProgram;
            return KeyAction::Nothing;
        case VK_ESCAPE:
            return state == Installing ? KeyAction::Nothing : KeyAction::CloseBox;
        default:
            return KeyAction::Nothing;
    }
}

void KeyGesture::Press(UINT virtualKey, LPARAM lParam, DialogState state) {
    if ((lParam & kKeyWasDown) != 0) return;
    pressed = true;
    key = virtualKey;
    pressState = state;
}

KeyAction KeyGesture::Release(UINT virtualKey, DialogState state) {
    if (!pressed || key != virtualKey) return KeyAction::Nothing;
    Forget();
    return pressState == state ? KeyActionFor(virtualKey, state) : KeyAction::Nothing;
}

void KeyGesture::Forget() {
    pressed = false;
    key = 0;
}

}  // namespace kav
