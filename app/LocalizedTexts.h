#pragma once
// Every text the dialog shows, in English, traditional and simplified Chinese, chosen by one rule
// from uiLanguageId: 1033 English, 1028 traditional Chinese, anything else simplified Chinese.
#include <cstdint>

enum class TextLanguage { English, Traditional, Simplified };

TextLanguage LanguageOf(std::int32_t uiLanguageId);

// The row of DialogTextTable (0 to 10) in the current language. Points into a constant table.
const wchar_t* DialogText(std::int32_t index);

// The row of StepTextTable (0 to 14), indexed by the step code the worker posts.
const wchar_t* StepText(std::int32_t index);

// The same lookups for an explicit language.
const wchar_t* DialogTextIn(TextLanguage language, std::int32_t index);
const wchar_t* StepTextIn(TextLanguage language, std::int32_t index);

// One constant text per language.
template <typename Char>
struct TextSet {
    const Char* english;
    const Char* traditional;
    const Char* simplified;

    const Char* In(TextLanguage language) const {
        switch (language) {
            case TextLanguage::English: return english;
            case TextLanguage::Traditional: return traditional;
            case TextLanguage::Simplified: break;
        }
        return simplified;
    }
    // The text for the current uiLanguageId.
    const Char* Current() const;
};

extern const TextSet<wchar_t> ReinstallWarningText;
extern const TextSet<wchar_t> WarningCaptionText;
extern const TextSet<wchar_t> BrowseButtonText;
extern const TextSet<wchar_t> PathLabelText;
extern const TextSet<wchar_t> CustomInstallText;
extern const TextSet<char> BrowseFolderTitleText;  // narrow, code page 936

constexpr std::int32_t kDialogTextRows = 11;
constexpr std::int32_t kStepTextRows = 15;
constexpr int kTextSlotUnits = 100;  // each table entry is a fixed slot of 100 UTF-16 units
