#pragma once
// The shell folders that the install places things in, for the user who sits at the console even
// when the installer runs elevated under another account.
#include <windows.h>

#include <string>

// Appends the local application-data folder of the user at the console to out.
void GetInteractiveUserLocalAppData(std::string& out);

// Appends the desktop folder shared by all users (no trailing backslash); nothing when the shell
// cannot supply it.
void GetCommonDesktopPath(std::string& out);

namespace kav {

constexpr int kCsidlLocalAppData = 0x1C;      // CSIDL_LOCAL_APPDATA
constexpr int kCsidlCommonDesktop = 0x19;     // CSIDL_COMMON_DESKTOPDIRECTORY

// Replaces the text between the second and the third backslash of path (the account's folder in
// C:\Users\<account>\AppData\Local) by accountName. The path stays as it is when it has fewer than
// three backslashes or when no account name is known.
std::string SwapAccountFolder(const std::string& path, const std::string& accountName);

// Appends the path of the shell folder with that CSIDL; false (nothing appended) when the shell
// cannot give it.
bool AppendShellFolderPath(int csidl, std::string& out);

// The user name of the session at the console; empty when nobody is logged on there or the
// terminal services cannot tell.
std::string QueryConsoleUserName();

// The account that owns the shell's desktop window; empty when there is no shell window or any
// step of the token query fails.
std::string QueryShellOwnerName();

// The account name of the process's token; empty on any failure.
std::string AccountNameOfProcess(DWORD processId);

}  // namespace kav
