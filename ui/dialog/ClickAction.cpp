#include "ui/dialog/ClickAction.h"

namespace kav {

ClickAction ClickActionFor(POINT pointer, DialogState state, bool customPanelHidden, const ClickAreas& areas) {
    if (::PtInRect(&areas.button, pointer)) {
        if (state == Ready) return ClickAction::StartInstall;
        if (state == Finished) return ClickAction::OpenProgram;
        return ClickAction::Nothing;
    }
    if (::PtInRect(&areas.browse, pointer) && state == Ready && !customPanelHidden) return ClickAction::BrowseFolder;
    if (::PtInRect(&areas.custom, pointer) && state == Ready) return ClickAction::ToggleCustomPanel;
    return ClickAction::Drag;
}

}  // namespace kav
