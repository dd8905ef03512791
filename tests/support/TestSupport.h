#pragma once
// Small helpers shared by the test executables.
#include <windows.h>

#include <map>
#include <string>

namespace kavtest {

// The source and build folders of this build, as Windows paths.
std::string SourceDir();
std::string BinaryDir();

// A process environment variable; empty when unset.
std::string Env(const char* name);

// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);

// A fresh, empty folder under the Windows temporary folder, removed with all content at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& hint = "kav");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Every file and folder under root by its path relative to root ("a\\b.txt"; folders end in a
// backslash), files with their whole content: two trees compare equal exactly when they hold the
// same names and bytes. An entry whose relative path is skip is left out with all beneath it.
std::map<std::string, std::string> TreeOf(const std::string& root, const std::string& skip = "");

// Removes a folder tree without the shell (so a test's clean-up never shows a dialog).
void RemoveTree(const std::string& path);

}  // namespace kavtest
