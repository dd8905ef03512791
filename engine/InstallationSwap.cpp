#include "engine/InstallationSwap.h"

#include <windows.h>

#include "system/Folders.h"

namespace kav {

namespace {

// No MOVEFILE_COPY_ALLOWED: a rename that would turn into a copy (another volume) must fail, since
// a copy of an installation is not atomic.
constexpr DWORD kRenameFlags = 0;

bool AlwaysGoOn(SwapStage) { return true; }

FolderMoveFunction g_swapMove = &RenameFolder;
SwapStageHook g_stageHook = &AlwaysGoOn;

}  // namespace

std::string MovedAsideFolderFor(const std::string& installDir) { return installDir + kMovedAsideSuffix; }

std::string DiscardFolderFor(const std::string& installDir) { return installDir + kDiscardSuffix; }

std::string CopiedBesideFolderFor(const std::string& installDir) { return installDir + kCopiedBesideSuffix; }

bool RenameFolder(const char* from, const char* to) { return ::MoveFileExA(from, to, kRenameFlags) != FALSE; }

FolderMoveFunction SetSwapMoveFunction(FolderMoveFunction function) {
    const FolderMoveFunction previous = g_swapMove;
    g_swapMove = function != nullptr ? function : &RenameFolder;
    return previous;
}

bool PathPresent(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

MoveAsideResult MoveInstallationAside(const std::string& installDir) {
    if (!PathPresent(installDir)) return MoveAsideResult::NothingToMove;
    return g_swapMove(installDir.c_str(), MovedAsideFolderFor(installDir).c_str()) ? MoveAsideResult::MovedAside
                                                                                     : MoveAsideResult::Refused;
}

bool PlaceStagedFolder(const std::string& stagedDir, const std::string& installDir) {
    return g_swapMove(stagedDir.c_str(), installDir.c_str());
}

bool PutMovedAsideBack(const std::string& installDir) {
    return RenameFolder(MovedAsideFolderFor(installDir).c_str(), installDir.c_str());
}

bool DiscardMovedAside(const std::string& installDir) {
    const std::string movedAside = MovedAsideFolderFor(installDir);
    const std::string discard = DiscardFolderFor(installDir);
    // What an earlier deletion left goes first, so the name is free.
    if (PathPresent(discard)) DeleteDirectoryTree(discard.c_str());
    if (PathPresent(movedAside)) {
        if (!RenameFolder(movedAside.c_str(), discard.c_str())) return false;
        if (!ContinueAfter(SwapStage::Discarding)) return false;
        DeleteDirectoryTree(discard.c_str());
    }
    return !PathPresent(movedAside) && !PathPresent(discard);
}

SwapStageHook SetSwapStageHook(SwapStageHook hook) {
    const SwapStageHook previous = g_stageHook;
    g_stageHook = hook != nullptr ? hook : &AlwaysGoOn;
    return previous;
}

bool ContinueAfter(SwapStage stage) { return g_stageHook(stage); }

}  // namespace kav
