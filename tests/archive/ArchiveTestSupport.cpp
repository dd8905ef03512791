#include "ArchiveTestSupport.h"

#include <algorithm>

#include "TestSupport.h"
#include "archive/OverwritePrompt.h"
#include "system/Handles.h"

namespace kavtest {

namespace {

PromptScript g_script;
kav::OverwritePromptHandler g_previous = nullptr;

int ScriptedAnswer(const char* text, const char* caption) {
    const int call = static_cast<int>(g_script.texts.size());
    g_script.texts.push_back(text);
    g_script.captions.push_back(caption);
    if (g_script.onPrompt != nullptr) g_script.onPrompt(call);
    if (g_script.answers.empty()) return IDABORT;
    const size_t index = std::min(static_cast<size_t>(call), g_script.answers.size() - 1);
    return g_script.answers[index];
}

void ListInto(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
    WIN32_FIND_DATAA entry;
    const std::string pattern = root + (relative.empty() ? "" : "\\" + relative) + "\\*";
    const kav::UniqueFindHandle find(::FindFirstFileA(pattern.c_str(), &entry));
    if (!find) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(path + "\\");
            ListInto(root, path, out);
        } else {
            out.push_back(path);
        }
    } while (::FindNextFileA(find.Get(), &entry));
}

}  // namespace

std::string Fixture(const std::string& name) { return BinaryDir() + "\\tests\\archive\\fixtures\\" + name; }

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> out;
    ListInto(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

bool ReadFileTimes(const std::string& path, FILETIME& creation, FILETIME& access, FILETIME& write) {
    const kav::UniqueHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    return file && ::GetFileTime(file.Get(), &creation, &access, &write);
}

ScopedPromptScript::ScopedPromptScript(std::vector<int> answers) {
    g_script = PromptScript{};
    g_script.answers = std::move(answers);
    g_previous = kav::SetOverwritePromptHandler(&ScriptedAnswer);
}

ScopedPromptScript::~ScopedPromptScript() { kav::SetOverwritePromptHandler(g_previous); }

PromptScript& ScopedPromptScript::Script() { return g_script; }

}  // namespace kavtest
