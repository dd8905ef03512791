#pragma once
// Creating the folders of a path and deleting a file or folder tree.

// Creates every missing folder named by a prefix of path that ends in a backslash (C:\A\B\f.log
// gives C:\A\ and C:\A\B\, never a folder f.log). True when all of them exist afterwards. The
// first folder that cannot be created is shown to the user (text: the prefix, caption "提示")
// and gives false; folders made before it stay. A path of 260 bytes or more gives false at once.
bool MakeDirectoryPath(const char* path);

// Deletes the file or folder (with everything beneath it) permanently, silently and without
// confirmation. True exactly when the shell's file operation returns 0.
bool DeleteDirectoryTree(const char* path);

namespace kav {

// The shell's flags for DeleteDirectoryTree: FOF_SILENT | FOF_NOCONFIRMATION. Without
// FOF_ALLOWUNDO nothing goes to the recycle bin.
constexpr unsigned kDeleteTreeFlags = 0x0014;

// Shows the failure notice of MakeDirectoryPath. The default is a modal MessageBoxA with OK only
// and no owner; tests replace it so that nothing waits for a click.
using FolderNoticeHandler = void (*)(const char* text, const char* caption);
FolderNoticeHandler SetFolderNoticeHandler(FolderNoticeHandler handler);
void ShowFolderNoticeBox(const char* text, const char* caption);

}  // namespace kav
