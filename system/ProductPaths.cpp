#include "system/ProductPaths.h"

#include "app/InstallSettings.h"
#include "system/InteractiveUser.h"
#include "system/Processes.h"

namespace kav {

std::string DisplayTitleFor(const std::string& productTitle) { return productTitle + kProductVersionTag; }

std::string DesktopShortcutPathFor(const std::string& desktopFolder, const std::string& productTitle) {
    return desktopFolder + "\\" + DisplayTitleFor(productTitle) + kShortcutExtension;
}

std::string DesktopShortcutPath() {
    std::string desktop;
    GetCommonDesktopPath(desktop);
    return DesktopShortcutPathFor(desktop, GetInstallSettings().productTitle);
}

std::string InstalledProgramPathFor(const std::string& installDir) { return installDir + "\\" + kProductExeName; }

std::string ShortcutIconPathFor(const std::string& installDir, const std::string& packageCode) {
    return installDir + kShortcutIconFolder + packageCode + kShortcutIconExtension;
}

std::string TruncatedText(const std::string& text, size_t maxBytes) {
    return text.size() > maxBytes ? text.substr(0, maxBytes) : text;
}

}  // namespace kav
