#include "archive/EntryPath.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace kav {

namespace {

constexpr unsigned long kDosDirectoryAttribute = 0x10;

// Names Windows maps to devices whatever folder they stand in (and whatever extension follows).
constexpr std::array<std::string_view, 6> kDeviceNames = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

bool IsDeviceComponent(std::string_view component) {
    // The device is named by what stands before the first dot, trailing spaces ignored.
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    for (const std::string_view device : kDeviceNames) {
        if (EqualsIgnoringAsciiCase(base, device)) return true;
    }
    if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
        for (const std::string_view prefix : kNumberedDevices) {
            if (EqualsIgnoringAsciiCase(base.substr(0, 3), prefix)) return true;
        }
    }
    return false;
}

bool IsClimbingComponent(std::string_view component) {
    if (component.empty() || component == ".") return false;
    return std::all_of(component.begin(), component.end(), [](char c) { return c == '.' || c == ' '; });
}

}  // namespace

bool IsFolderEntry(unsigned long externalAttributes) {
    return (externalAttributes & kDosDirectoryAttribute) != 0;
}

std::string EntryNameToRelativePath(const char* name) {
    std::string path = name != nullptr ? name : "";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool IsSafeEntryName(const std::string& relativePath) {
    if (relativePath.empty()) return false;
    if (relativePath.front() == '\\' || relativePath.front() == '/') return false;
    if (relativePath.find(':') != std::string::npos) return false;
    size_t start = 0;
    while (start <= relativePath.size()) {
        size_t end = relativePath.find_first_of("\\/", start);
        if (end == std::string::npos) end = relativePath.size();
        const std::string_view component(relativePath.data() + start, end - start);
        if (IsClimbingComponent(component) || IsDeviceComponent(component)) return false;
        start = end + 1;
    }
    return true;
}

std::string JoinEntryPath(const std::string& folder, const std::string& name) {
    std::string joined = folder;
    if (joined.empty() || (joined.back() != '\\' && joined.back() != '/')) joined += '\\';
    joined += name;
    if (joined.size() >= kEntryPathBufferBytes) return {};
    return joined;
}

bool IsPathInsideFolder(const std::string& fullFolder, const std::string& fullPath, bool allowSame) {
    std::string folder = fullFolder;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (folder.empty()) return false;
    std::string path = fullPath;
    while (path.size() > folder.size() && path.back() == '\\') path.pop_back();
    if (path.compare(0, folder.size(), folder) != 0) return false;
    if (path.size() == folder.size()) return allowSame;
    return path[folder.size()] == '\\' && path.size() > folder.size() + 1;
}

std::string ParentOfPath(const std::string& path) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash);
}

std::string FolderOfFullPath(const std::string& fullPath) {
    const size_t slash = fullPath.rfind('\\');
    if (slash == std::string::npos) return {};
    return fullPath.substr(0, slash + 1);
}

std::vector<std::string> FolderChain(const std::string& path) {
    std::string copy = EntryNameToRelativePath(path.c_str());
    while (!copy.empty() && copy.back() == '\\') copy.pop_back();

    std::vector<std::string> components;
    size_t start = 0;
    while (start < copy.size()) {
        size_t end = copy.find('\\', start);
        if (end == std::string::npos) end = copy.size();
        if (end > start) components.push_back(copy.substr(start, end - start));
        start = end + 1;
    }

    std::vector<std::string> chain;
    if (components.size() < 2) return chain;
    std::string prefix = components.front();
    for (size_t i = 1; i < components.size(); ++i) {
        prefix += '\\';
        prefix += components[i];
        chain.push_back(prefix);
    }
    return chain;
}

}  // namespace kav
