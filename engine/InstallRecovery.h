#pragma once
// What the next start does about a run that was cut while it replaced the installation, before an
// install begins and before anything looks for the install folder.
#include <string>

namespace kav {

enum class RecoveryAction {
    Nothing,
    PutBack,  // the cut fell between the two renames: the old installation returns to its place
    Discard,  // the new installation is in place: the moved-aside one is deleted
};

// The decision for a moved-aside folder, from what exists. A moved-aside folder is always a whole
// installation (it is only ever made by one rename and deleted under another name).
RecoveryAction RecoveryActionFor(bool installDirExists, bool movedAsideExists);

// Carries out that decision for installDir, and deletes what a cut deletion left under the
// discard name and what a cut copy left under the copied-beside name. Returns the action it took;
// afterwards installDir holds one whole installation (or none, after a cut first install) and
// nothing is left beside it, unless a program holds a file of a leftover folder open.
RecoveryAction RecoverInterruptedSwap(const std::string& installDir);

}  // namespace kav
