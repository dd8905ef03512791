#pragma once
// Reading back what the registrations wrote: registry values through the registry API, the
// install log through its file.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace kavtest {

// A REG_SZ (or any) value as stored: its type, its stored size in bytes and its text.
struct StoredValue {
    bool found = false;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    std::wstring text;  // the data as UTF-16, the terminator dropped when present
};

// Reads the value through the UTF-16 call (the form in which the registry keeps it).
StoredValue ReadValue(HKEY root, const std::string& path, const std::wstring& name);

// Reads the value through the narrow call (converted to the ANSI code page by the system).
std::string ReadNarrowValue(HKEY root, const std::string& path, const std::string& name);

bool KeyExists(HKEY root, const std::string& path);

// Everything below a key: "subkey\path|value name" -> type and data, for comparing two states.
std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> SnapshotTree(HKEY root, const std::string& path);

// Number of values and subkeys directly in a key.
DWORD ValueCount(HKEY root, const std::string& path);
DWORD SubkeyCount(HKEY root, const std::string& path);

void DeleteTree(HKEY root, const std::string& path);

// A handle that was valid once and is closed now: every registry call on it fails.
HKEY ClosedKeyHandle();

// An install log opened in a folder of its own; Lines() closes it and returns the lines after the
// two that every log starts with, without their time prefix.
class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<std::string> Lines();

private:
    TempFolder folder_;
};

}  // namespace kavtest
