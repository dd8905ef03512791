#include "engine/InstallRecovery.h"

#include "engine/InstallationSwap.h"
#include "system/Folders.h"

namespace kav {

RecoveryAction RecoveryActionFor(bool installDirExists, bool movedAsideExists) {
    if (!movedAsideExists) return RecoveryAction::Nothing;
    return installDirExists ? RecoveryAction::Discard : RecoveryAction::PutBack;
}

RecoveryAction RecoverInterruptedSwap(const std::string& installDir) {
    const RecoveryAction action =
        RecoveryActionFor(PathPresent(installDir), PathPresent(MovedAsideFolderFor(installDir)));
    switch (action) {
        case RecoveryAction::PutBack:
            PutMovedAsideBack(installDir);
            break;
        case RecoveryAction::Discard:
            DiscardMovedAside(installDir);
            break;
        case RecoveryAction::Nothing:
            break;
    }
    // A deletion that was cut: never an installation, whatever else exists.
    const std::string discard = DiscardFolderFor(installDir);
    if (PathPresent(discard)) DeleteDirectoryTree(discard.c_str());
    return action;
}

}  // namespace kav
