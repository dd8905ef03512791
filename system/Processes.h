#pragma once
// Stopping a running copy of the installed program and starting the installed program.
#include <string>

// The installed program's executable file name.
constexpr char kProductExeName[] = "kavrindel v9.5.exe";

// Terminates the first running process whose image name is exeName (ASCII case ignored) and whose
// executable lies directly in installDir (exact path), then waits for it (at most 5 s) and pauses
// 2.5 s. Returns at once when nothing matches. Always 0.
int TerminateRunningInstance(const wchar_t* exeName);

// Starts "<installDir>\kavrindel v9.5.exe" end in the install folder, in a new console, shown
// normally, with the installer's environment. Nonzero when the program was started; false and
// nothing started when the command line or the folder needs more than 2048 UTF-16 units.
bool LaunchInstalledProgram();

namespace kav {

// Equal texts when ASCII letters are compared without case; every other unit must be equal.
bool EqualIgnoringAsciiCase(const wchar_t* left, const wchar_t* right);

// "<folder>\<exeName>" with the folder converted from code page 936; the folder counts as empty
// when it needs more than 2046 UTF-16 units with its terminator.
std::wstring ExpectedExecutablePath(const char* installDir, const wchar_t* exeName);

// Whether a process of the snapshot is the running instance. executablePath is the path of the
// process's first module, or null when its module list cannot be read (then it is no match).
bool IsRunningInstance(const wchar_t* imageName, const wchar_t* executablePath, const wchar_t* exeName,
                       const std::wstring& expectedPath);

// The narrow command line that starts the installed program: "<installDir>\kavrindel v9.5.exe" end.
std::string LaunchCommandLineFor(const std::string& installDir);

// The UTF-16 command line and current folder of the launch, converted from code page 936. False
// when the folder is empty or either text needs more than 2048 units with its terminator.
bool LaunchTextsFor(const std::string& installDir, std::wstring& commandLine, std::wstring& folder);

}  // namespace kav
