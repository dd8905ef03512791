#include "TestSupport.h"

#include <cstdio>

#include "TestPaths.h"

namespace kavtest {

std::string SourceDir() { return KAV_SOURCE_DIR; }
std::string BinaryDir() { return KAV_BINARY_DIR; }

std::string Env(const char* name) {
    char buffer[32768] = {};
    const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};
    return std::string(buffer, n);
}

std::string ReadFileBytes(const std::string& path) {
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    std::fclose(f);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool PathExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

void CollectTree(const std::string& root, const std::string& relative, std::map<std::string, std::string>& out,
                 const std::string& skip) {
    WIN32_FIND_DATAA entry;
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string rel = relative.empty() ? name : relative + "\\" + name;
        if (rel == skip) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[rel + "\\"] = "";
            CollectTree(root, rel, out, skip);
        } else {
            out[rel] = ReadFileBytes(root + "\\" + rel);
        }
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
}

}  // namespace

std::map<std::string, std::string> TreeOf(const std::string& root, const std::string& skip) {
    std::map<std::string, std::string> out;
    CollectTree(root, "", out, skip);
    return out;
}

void RemoveTree(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..") RemoveTree(path + "\\" + name);
        } while (::FindNextFileA(find, &entry));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(path.c_str());
}

TempFolder::TempFolder(const std::string& hint) {
    char base[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%s%s-%lu-%u", base, hint.c_str(), ::GetCurrentProcessId(), counter++);
        if (::CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

}  // namespace kavtest
