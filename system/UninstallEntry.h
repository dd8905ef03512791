#pragma once
// The product's entry in the machine's list of installed programs.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct InstallSettings;

// Writes the subkey Kavrindel_<packageCode>v9.5 below the machine-wide Uninstall key with its six
// text values. 0 when the key and all six values were written; -1 at the first call that failed
// (values written before it stay). Silent: nothing is shown or logged.
int RegisterUninstallEntry();

namespace kav {

constexpr char kUninstallRootNative[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kUninstallRootWow64[] = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kUninstallKeyPrefix[] = "Kavrindel_";
constexpr char kPublisherName[] = "Ondrix Information";
// Narrow values are formatted into buffers of this size; UTF-16 ones converted into this many units.
constexpr size_t kUninstallValueBuffer = 1024;

// The Uninstall root for the native processor architecture; no value means that the system could
// not tell (GetNativeSystemInfo is missing). 64-bit systems (x64, Itanium) keep the entries that
// this installer writes in their 32-bit view.
const char* UninstallRootFor(std::optional<WORD> nativeArchitecture);

// wProcessorArchitecture of GetNativeSystemInfo, looked up at run time in kernel32; no value when
// kernel32 does not export it.
std::optional<WORD> NativeProcessorArchitecture();

// "Kavrindel_" + packageCode + "v9.5".
std::string UninstallKeyNameFor(const std::string& packageCode);

enum class ValueCall { Narrow, Wide };

// One value of the entry: the narrow (code page 936) text, and whether it is stored through the
// narrow call (read by the system in its ANSI code page) or converted to UTF-16 by the installer.
struct UninstallValue {
    const char* name;
    ValueCall call;
    std::string text;
};

// The six values in the order they are written, for the settings and the shortcut's path.
std::vector<UninstallValue> UninstallValuesFor(const InstallSettings& settings, const std::string& shortcutPath);

}  // namespace kav
