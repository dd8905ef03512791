#include "archive/OverwritePrompt.h"

#include <windows.h>

#include <cstdio>

namespace kav {

namespace {

constexpr size_t kPromptBufferBytes = 1024;
constexpr char kOverwritePromptFormat[] = "无法覆盖文件\"%s\",该文件可能正被使用!\n是否终止升级?";
constexpr char kOverwritePromptCaption[] = "警告";

OverwritePromptHandler g_promptHandler = &ShowOverwritePromptBox;

}  // namespace

std::string FormatOverwritePrompt(const char* entryName) {
    char text[kPromptBufferBytes] = {};
    std::snprintf(text, sizeof text, kOverwritePromptFormat, entryName != nullptr ? entryName : "");
    return text;
}

int ShowOverwritePromptBox(const char* text, const char* caption) {
    return ::MessageBoxA(nullptr, text, caption, MB_ABORTRETRYIGNORE);
}

OverwritePromptHandler SetOverwritePromptHandler(OverwritePromptHandler handler) {
    const OverwritePromptHandler previous = g_promptHandler;
    g_promptHandler = handler != nullptr ? handler : &ShowOverwritePromptBox;
    return previous;
}

int AskOverwrite(const char* entryName) {
    const std::string text = FormatOverwritePrompt(entryName);
    return g_promptHandler(text.c_str(), kOverwritePromptCaption);
}

}  // namespace kav
