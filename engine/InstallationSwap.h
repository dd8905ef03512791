#pragma once
// Replacing the installation without ever deleting it before the new one has taken its place: the
// install folder is renamed to a sibling (the folder's name followed by "old"), the complete staged
// folder is renamed into its place, and only then is the moved-aside folder deleted. A moved-aside
// folder is deleted under a third sibling name (followed by "trash"), so a folder named "old" is
// always a whole installation and a half-deleted one is never taken for one. A staged folder on
// another volume than the install folder (a chosen install folder on another drive) cannot be
// renamed into place; it is copied beside the install folder first (the folder's name followed by
// "new"), and that copy, once checked, is renamed into place: the old installation still stays
// whole until the new one has taken its place.
#include <string>

namespace kav {

constexpr char kMovedAsideSuffix[] = "old";
constexpr char kDiscardSuffix[] = "trash";
constexpr char kCopiedBesideSuffix[] = "new";

// "C:\A\KAvrindel201805v9.5old" for the install folder "C:\A\KAvrindel201805v9.5".
std::string MovedAsideFolderFor(const std::string& installDir);
// "C:\A\KAvrindel201805v9.5trash": where a moved-aside folder is deleted.
std::string DiscardFolderFor(const std::string& installDir);
// "C:\A\KAvrindel201805v9.5new": where a staged folder on another volume is copied before it takes
// the install folder's place. Never an installation until it is renamed into place.
std::string CopiedBesideFolderFor(const std::string& installDir);

// Renames a folder to a new name on the same volume; true when it was renamed. Windows refuses
// while a program holds a file in the folder open, or when the new name lies on another volume;
// Wine may allow the first. The swap's two renames (the install folder aside, the staged folder
// into place) go through a replaceable function, so tests can see either refused.
using FolderMoveFunction = bool (*)(const char* from, const char* to);
bool RenameFolder(const char* from, const char* to);
FolderMoveFunction SetSwapMoveFunction(FolderMoveFunction function);

enum class MoveAsideResult {
    NothingToMove,  // no install folder: a first install
    MovedAside,
    Refused,        // the folder stays where it was (a file in it is open, or the name is taken)
};

// Renames installDir to its moved-aside name through the swap's move function.
MoveAsideResult MoveInstallationAside(const std::string& installDir);

// Renames the staged folder to installDir through the swap's move function.
bool PlaceStagedFolder(const std::string& stagedDir, const std::string& installDir);

// Renames the moved-aside folder back to installDir; false when it could not.
bool PutMovedAsideBack(const std::string& installDir);

// Deletes the moved-aside folder: first renamed to the discard name, then deleted there. A folder
// that cannot be renamed stays whole under its moved-aside name for the next start's recovery.
// True when nothing of it is left.
bool DiscardMovedAside(const std::string& installDir);

// Whether a file or folder exists at path.
bool PathPresent(const std::string& path);

// The points of a run at which a test stops the swap as a cut would (a power cut, a crash, the
// task manager): the run ends there without another file operation, log line or message.
enum class SwapStage {
    StagingComplete,  // update.ini and the configuration values written into the staging folder
    OldOutOfPlace,    // the install folder moved aside (or, in the fallback, removed)
    CopiedBeside,     // the staged folder (another volume) copied beside the install folder, checked
    NewInPlace,       // the staged folder renamed (or copied) into place
    Registered,       // the log back, the registrations written
    Discarding,       // the moved-aside folder renamed to its discard name, not yet deleted
};

// Asked at each stage whether the run goes on; the default always goes on.
using SwapStageHook = bool (*)(SwapStage stage);
SwapStageHook SetSwapStageHook(SwapStageHook hook);
bool ContinueAfter(SwapStage stage);

}  // namespace kav
