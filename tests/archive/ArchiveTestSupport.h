#pragma once
// Helpers of the archive tests: where the generated archives lie, listing folder trees, and a
// prompt handler that answers from a script and records what it was asked.
#include <windows.h>

#include <string>
#include <vector>

namespace kavtest {

// Path of an archive written by make_archives.py.
std::string Fixture(const std::string& name);

// Every file and folder below root, relative to it, backslash-separated, folders ending in "\",
// sorted.
std::vector<std::string> ListTree(const std::string& root);

// Creation, last-access and last-write time of a file; false when it cannot be read.
bool ReadFileTimes(const std::string& path, FILETIME& creation, FILETIME& access, FILETIME& write);

// The prompt handler tests install: answers with the scripted answers in turn (the last one
// repeated) and records every text and caption. onPrompt, when set, runs before answering.
struct PromptScript {
    std::vector<int> answers;
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    void (*onPrompt)(int call) = nullptr;
};

// Installs the scripted handler for the lifetime of the object and restores the previous one.
class ScopedPromptScript {
public:
    explicit ScopedPromptScript(std::vector<int> answers);
    ~ScopedPromptScript();
    ScopedPromptScript(const ScopedPromptScript&) = delete;
    ScopedPromptScript& operator=(const ScopedPromptScript&) = delete;
    PromptScript& Script();
};

}  // namespace kavtest
