#pragma once
// The deletion of the moved-aside installation after a successful update. It runs on the worker
// after WM_INSTALL_DONE, while the finished page shows, so an update waits no longer than a first
// install for its result. The program's exit waits for it once the window is gone (the product has
// been started by then, so nobody waits for anything on screen), so that a whole old release is not
// left on the disk until the installer runs again. A process ended meanwhile leaves the rest under
// the discard name, which the next start's recovery deletes.

namespace kav {

// Marks a deletion as coming; called before WM_INSTALL_DONE is posted, so that an exit that
// follows the message cannot miss it.
void BeginMovedAsideRemoval();

// Marks the deletion as over (done or given up).
void EndMovedAsideRemoval();

// Returns once no deletion is coming or running.
void WaitForMovedAsideRemoval();

}  // namespace kav
