#pragma once
// The install log: one plain text file per install in logDir, one timestamped line per event,
// code page 936, CRLF line ends. Written by the dialog's thread and then by the worker in turn;
// writing a line and closing the file exclude each other.
#include <windows.h>

#include <string>

// Creates <logDir>\<hhmmssmmm>install.log (local time) and writes the two first lines.
void OpenInstallLog();

// Appends "[hh:mm:ss mmm]\t\t" + text + "\r\n" in one write and flushes it. No effect when no log
// is open or text is absent.
void WriteLogLine(const char* text);

// Closes the log if it is open; harmless otherwise.
void CloseInstallLog();

// Closes the log file for a while, so that the folder it lies in can be removed or moved; lines
// written meanwhile keep their time and wait in memory. Returns the file's path, or empty when no
// log is open (nothing is then set aside).
std::string SetInstallLogAside();

// Reopens a set-aside log at path (appending) and writes the waiting lines. A log that cannot be
// reopened stays closed and its waiting lines are dropped, as with a log that could not be opened.
void ResumeInstallLog(const std::string& path);

namespace kav {

constexpr char kLogVersionLine[] = "Version: IE_9.5.9.1";
constexpr char kLogStartLine[] = "用户点击安装，安装开始...";

// "093015042install.log" for 09:30:15.042.
std::string LogFileNameFor(const SYSTEMTIME& time);

// "[09:30:15 042]\t\t" for 09:30:15.042.
std::string LogLinePrefixFor(const SYSTEMTIME& time);

}  // namespace kav
