#pragma once
// What a press of the left button on the dialog does, decided from where it lands and the page.
#include <windows.h>

#include "ui/dialog/DialogState.h"

namespace kav {

enum class ClickAction {
    StartInstall,       // the main button on the welcome page
    OpenProgram,        // the main button ("Open") on the finished page
    Nothing,            // the main button while installing or after a failure: no drag either
    BrowseFolder,       // Browse, on the welcome page with the custom-path panel shown
    ToggleCustomPanel,  // the Custom link on the welcome page
    Drag,               // anywhere else: the window follows the pointer
};

struct ClickAreas {
    RECT button;
    RECT browse;
    RECT custom;
};

// The first matching case wins: main button, Browse, Custom link, then dragging.
ClickAction ClickActionFor(POINT pointer, DialogState state, bool customPanelHidden, const ClickAreas& areas);

}  // namespace kav
