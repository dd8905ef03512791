#include "RegistrationSupport.h"

#include <gtest/gtest.h>

#include "app/InstallLog.h"
#include "app/InstallSettings.h"
#include "system/Folders.h"

namespace kavtest {

namespace {

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

struct Key {
    HKEY handle = nullptr;
    Key(HKEY root, const std::string& path) {
        if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) handle = nullptr;
    }
    ~Key() {
        if (handle != nullptr) ::RegCloseKey(handle);
    }
};

void Walk(HKEY key, const std::wstring& prefix, std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>& out) {
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameChars = 16384;
        DWORD type = 0;
        DWORD bytes = 0;
        if (::RegEnumValueW(key, i, name, &nameChars, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(bytes);
        nameChars = 16384;
        ::RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data.data(), &bytes);
        out[prefix + L"|" + name] = {type, data};
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameChars = 256;
        if (::RegEnumKeyExW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        out[prefix + L"\\" + name + L"|<key>"] = {REG_NONE, {}};
        Walk(child, prefix + L"\\" + name, out);
        ::RegCloseKey(child);
    }
}

// Creating the log's or a fixture's folders must never wait for a click on the failure notice:
// the notice becomes a test failure instead.
void FailOnFolderNotice(const char* text, const char* caption) {
    ADD_FAILURE() << "folder notice shown: " << caption << " " << text;
}

class NoFolderNoticeBoxes : public ::testing::Environment {
public:
    void SetUp() override { kav::SetFolderNoticeHandler(FailOnFolderNotice); }
};

[[maybe_unused]] ::testing::Environment* const kNoFolderNoticeBoxes =
    ::testing::AddGlobalTestEnvironment(new NoFolderNoticeBoxes);

}  // namespace

StoredValue ReadValue(HKEY root, const std::string& path, const std::wstring& name) {
    StoredValue value;
    Key key(root, path);
    if (key.handle == nullptr) return value;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.handle, name.c_str(), nullptr, &value.type, nullptr, &bytes) != ERROR_SUCCESS) {
        return value;
    }
    std::vector<BYTE> data(bytes + sizeof(wchar_t), 0);
    if (::RegQueryValueExW(key.handle, name.c_str(), nullptr, &value.type, data.data(), &bytes) != ERROR_SUCCESS) {
        return value;
    }
    value.found = true;
    value.bytes = bytes;
    value.text.assign(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
    if (!value.text.empty() && value.text.back() == L'\0') value.text.pop_back();
    return value;
}

std::string ReadNarrowValue(HKEY root, const std::string& path, const std::string& name) {
    Key key(root, path);
    if (key.handle == nullptr) return {};
    DWORD bytes = 0;
    DWORD type = 0;
    if (::RegQueryValueExA(key.handle, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return {};
    std::string data(bytes, '\0');
    if (::RegQueryValueExA(key.handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    data.resize(bytes);
    if (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
}

bool KeyExists(HKEY root, const std::string& path) { return Key(root, path).handle != nullptr; }

std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> SnapshotTree(HKEY root, const std::string& path) {
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> out;
    Key key(root, path);
    if (key.handle != nullptr) Walk(key.handle, Wide(""), out);
    return out;
}

DWORD ValueCount(HKEY root, const std::string& path) {
    Key key(root, path);
    DWORD values = 0;
    if (key.handle != nullptr) {
        ::RegQueryInfoKeyW(key.handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr);
    }
    return values;
}

DWORD SubkeyCount(HKEY root, const std::string& path) {
    Key key(root, path);
    DWORD subkeys = 0;
    if (key.handle != nullptr) {
        ::RegQueryInfoKeyW(key.handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr);
    }
    return subkeys;
}

void DeleteTree(HKEY root, const std::string& path) {
    ::RegDeleteTreeA(root, path.c_str());
    ::RegDeleteKeyA(root, path.c_str());
}

HKEY ClosedKeyHandle() {
    HKEY key = nullptr;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    ::RegCloseKey(key);
    return key;
}

CapturedLog::CapturedLog() : folder_("kavlog") {
    GetInstallSettings().logDir = folder_.Path();
    OpenInstallLog();
}

CapturedLog::~CapturedLog() { CloseInstallLog(); }

std::vector<std::string> CapturedLog::Lines() {
    CloseInstallLog();
    WIN32_FIND_DATAA entry;
    const HANDLE find = ::FindFirstFileA((folder_.Path() + "\\*install.log").c_str(), &entry);
    EXPECT_NE(find, INVALID_HANDLE_VALUE) << "no log in " << folder_.Path();
    if (find == INVALID_HANDLE_VALUE) return {};
    ::FindClose(find);
    const std::string bytes = ReadFileBytes(folder_.Path() + "\\" + entry.cFileName);
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < bytes.size()) {
        size_t end = bytes.find("\r\n", from);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(from, end - from);
        const size_t text = line.find("]\t\t");
        lines.push_back(text == std::string::npos ? line : line.substr(text + 3));
        from = end + 2;
    }
    EXPECT_GE(lines.size(), 2u);
    if (lines.size() >= 2) {
        EXPECT_EQ(lines[0], kav::kLogVersionLine);
        lines.erase(lines.begin(), lines.begin() + 2);
    }
    return lines;
}

}  // namespace kavtest
