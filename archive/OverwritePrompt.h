#pragma once
// The question put to the user when an extracted file cannot be created (usually because the old
// file is in use or read-only): abort the update, retry, or skip the file.
#include <string>

namespace kav {

// The prompt's text for an entry name (relative to the destination, with backslashes), cut to the
// 1024-byte buffer it is formatted into.
std::string FormatOverwritePrompt(const char* entryName);

// Shows the prompt and returns IDABORT, IDRETRY or IDIGNORE. The default is a modal MessageBoxA
// without an owner window, buttons Abort/Retry/Ignore; tests replace it so that nothing waits for
// a click.
using OverwritePromptHandler = int (*)(const char* text, const char* caption);
OverwritePromptHandler SetOverwritePromptHandler(OverwritePromptHandler handler);
int ShowOverwritePromptBox(const char* text, const char* caption);

// Formats the prompt for the entry and asks through the current handler.
int AskOverwrite(const char* entryName);

}  // namespace kav
