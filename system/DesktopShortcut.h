#pragma once
// The shortcut to the installed program on the desktop shared by all users.
#include <cstddef>

// Saves <all-users desktop>\<productTitle>v9.5.lnk pointing at <installDir>\kavrindel v9.5.exe, with
// the install folder as working folder and the product's shortcut icon when that file exists,
// overwriting an older shortcut of that name. Logs the three paths and the result of every COM
// call. False only when the link path, the target or the working folder is empty in UTF-16;
// otherwise true, whatever the shell-link calls returned.
bool CreateDesktopShortcut();

namespace kav {

// Paths handed to the shell link are converted into buffers of this many UTF-16 units.
constexpr size_t kShortcutPathUnits = 1024;
// Each status line is formatted into a buffer of this size.
constexpr size_t kShortcutStatusLineBytes = 101;

}  // namespace kav
