#pragma once
// The writing half of an extraction: applies extraction records to disk in order (folders, file
// creation with the overwrite prompt, data, file times) on the thread that called the extraction,
// so the prompt comes from that thread and before any data of its entry is written.
#include <string>
#include <unordered_set>

#include "archive/ExtractionRecord.h"
#include "system/Handles.h"

namespace kav {

class EntryWriter {
public:
    enum class Step {
        Continue,   // the record is applied; more follow
        Succeeded,  // the walk is over and every entry was extracted or skipped by the user
        Failed,     // an entry failed or the user aborted: nothing more is written
    };

    // Applies one record. After Succeeded or Failed no file is open.
    Step Apply(ExtractionRecord& record);

    // CreateFolderChain once per folder: thousands of entries share a few folders, and every
    // CreateDirectoryA of an existing folder is a round trip to the file system.
    bool EnsureFolderChain(const std::string& path);

    // Forgets the folders made so far (another archive, or folders that may have gone) and closes
    // a file left open.
    void Reset();

private:
    Step Fail();

    UniqueHandle file;              // the file of the current entry, while its data arrive
    bool skipping = false;          // the user chose to ignore the current entry's file
    unsigned long fileDosDate = 0;  // the current entry's time
    std::unordered_set<std::string> ensuredFolders;
};

}  // namespace kav
