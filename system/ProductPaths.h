#pragma once
// The names and paths under which the installed product is made known to Windows: the title shown
// in the list of installed programs, the desktop shortcut's file, the program and its icon. Each is
// built here once, so that the uninstall entry, the URL scheme and the shortcut can never disagree.
// All text is narrow, code page 936.
#include <cstddef>
#include <string>

namespace kav {

constexpr char kProductVersionTag[] = "v9.5";
constexpr char kShortcutExtension[] = ".lnk";
constexpr char kShortcutIconFolder[] = "\\Server\\config\\shortcut\\shortcut";
constexpr char kShortcutIconExtension[] = ".ico";

// "Qerlix Trading System" -> "Qerlix Trading Systemv9.5" (no space in between).
std::string DisplayTitleFor(const std::string& productTitle);

// desktopFolder + "\" + DisplayTitleFor(productTitle) + ".lnk".
std::string DesktopShortcutPathFor(const std::string& desktopFolder, const std::string& productTitle);

// The shortcut's path on the all-users desktop for the product title of the install settings. The
// uninstall entry stores exactly this text, and the shortcut is saved under exactly this name.
std::string DesktopShortcutPath();

// installDir + "\kavrindel v9.5.exe".
std::string InstalledProgramPathFor(const std::string& installDir);

// installDir + "\Server\config\shortcut\shortcut" + packageCode + ".ico".
std::string ShortcutIconPathFor(const std::string& installDir, const std::string& packageCode);

// The first maxBytes bytes of text (all of it when shorter): what a fixed buffer of maxBytes + 1
// bytes keeps of a copied text.
std::string TruncatedText(const std::string& text, size_t maxBytes);

}  // namespace kav
