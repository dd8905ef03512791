#pragma once
// How an archive entry's stored name becomes a path below the destination folder, and the checks
// that keep every extracted file inside that folder. Pure functions: no file system access.
#include <cstddef>
#include <string>
#include <vector>

namespace kav {

// Bytes of the buffer that receives an entry name (the name, the terminator included).
constexpr size_t kEntryNameBufferBytes = 260;
// Bytes of a joined path (destination, separator, entry name) with its terminator.
constexpr size_t kEntryPathBufferBytes = 260;

// The MS-DOS directory attribute in the low byte of an entry's external attributes marks a folder
// entry; the name's trailing slash plays no part.
bool IsFolderEntry(unsigned long externalAttributes);

// The stored name with every "/" replaced by a backslash; nothing else changes.
std::string EntryNameToRelativePath(const char* name);

// Whether a name (already in backslash form) may be joined to the destination. Refused: an empty
// name, a leading backslash (also \\server\share and \\?\ forms), a colon anywhere (drive letters
// such as C:x and alternate data streams), a component made only of dots and spaces other than a
// single "." (so "..", "...", ".. " never climb), and a component that names a DOS device (CON,
// PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$, also with an extension).
bool IsSafeEntryName(const std::string& relativePath);

// folder, then a backslash unless folder already ends in a backslash or a slash, then name.
// Empty when the result would not fit kEntryPathBufferBytes with its terminator.
std::string JoinEntryPath(const std::string& folder, const std::string& name);

// Whether the full path fullPath lies inside the full folder path fullFolder: it starts with the
// folder followed by a separator and names something below it. allowSame also accepts the folder
// itself (a folder entry such as "./" names the destination).
bool IsPathInsideFolder(const std::string& fullFolder, const std::string& fullPath, bool allowSame);

// The path up to (not including) its last backslash; empty when there is none.
std::string ParentOfPath(const std::string& path);

// Drive and directory of a full path: everything up to and including the last backslash.
std::string FolderOfFullPath(const std::string& fullPath);

// The folders CreateFolderChain creates for a path, in order: "/" read as a backslash, empty
// components skipped, the first component (the drive) never listed. E:\Out\\new\ gives E:\Out and
// E:\Out\new.
std::vector<std::string> FolderChain(const std::string& path);

}  // namespace kav
