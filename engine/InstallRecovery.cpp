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
    // A deletion that was cut, and a copy that never took the install folder's place: never an
    // installation, whatever else exists.
    for (const std::string& leftover : {DiscardFolderFor(installDir), CopiedBesideFolderFor(installDir)}) {
        if (PathPresent(leftover)) DeleteDirectoryTree(leftover.c_str());
    }
    return action;
}

}  // namespace kav
