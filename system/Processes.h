#pragma once
// Stopping a running copy of the installed program and starting the installed program.

// The installed program's executable file name.
constexpr char kProductExeName[] = "kavrindel v9.5.exe";

// Terminates the first running process whose image name is exeName (ASCII case ignored) and whose
// executable lies directly in installDir (exact path), then waits for it (at most 5 s) and pauses
// 2.5 s. Returns at once when nothing matches. Always 0.
int TerminateRunningInstance(const wchar_t* exeName);

// Starts "<installDir>\kavrindel v9.5.exe" end in the install folder, in a new console, shown
// normally, with the installer's environment. Nonzero when the program was started.
bool LaunchInstalledProgram();
