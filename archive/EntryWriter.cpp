#include "archive/EntryWriter.h"

#include <windows.h>

#include "archive/CreateFolderChain.h"
#include "archive/EntryPath.h"
#include "archive/OverwritePrompt.h"

namespace kav {

namespace {

UniqueHandle CreateTargetFile(const std::string& path) {
    return UniqueHandle(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Gives the file the entry's MS-DOS date and time, read as local time, as creation and last-write
// time; the last-access time stays as it is. Set on the handle that wrote the data, before it is
// closed (a second open per file would cost a file-system round trip for every entry). Failures
// leave the times as the file system set them.
void ApplyEntryTime(HANDLE file, unsigned long dosDate) {
    FILETIME local, utc;
    if (!::DosDateTimeToFileTime(HIWORD(dosDate), LOWORD(dosDate), &local)) return;
    if (!::LocalFileTimeToFileTime(&local, &utc)) return;
    ::SetFileTime(file, &utc, nullptr, &utc);
}

}  // namespace

bool EntryWriter::EnsureFolderChain(const std::string& path) {
    if (ensuredFolders.count(path) != 0) return true;
    if (!::CreateFolderChain(path.c_str())) return false;
    ensuredFolders.insert(path);
    return true;
}

void EntryWriter::Reset() {
    file.Reset();
    skipping = false;
    ensuredFolders.clear();
}

EntryWriter::Step EntryWriter::Fail() {
    file.Reset();  // what was written of the entry stays
    skipping = false;
    return Step::Failed;
}

EntryWriter::Step EntryWriter::Apply(ExtractionRecord& record) {
    using Kind = ExtractionRecord::Kind;
    switch (record.kind) {
    case Kind::Folder:
        return EnsureFolderChain(record.path) ? Step::Continue : Fail();

    case Kind::FileStart: {
        if (!EnsureFolderChain(ParentOfPath(record.path))) return Fail();
        for (;;) {
            file = CreateTargetFile(record.path);
            if (file) break;
            const int answer = AskOverwrite(record.name.c_str());
            if (answer == IDIGNORE) {
                // The entry is skipped: its data and its verdict are dropped, the old file stays.
                skipping = true;
                return Step::Continue;
            }
            if (answer != IDRETRY) return Fail();
        }
        fileDosDate = record.dosDate;
        return Step::Continue;
    }

    case Kind::FileData: {
        if (skipping || record.size == 0) return Step::Continue;
        DWORD written = 0;
        if (!::WriteFile(file.Get(), record.data.data(), record.size, &written, nullptr) || written != record.size) {
            return Fail();
        }
        return Step::Continue;
    }

    case Kind::FileEnd:
        if (skipping) {
            skipping = false;
            return Step::Continue;
        }
        // Data that failed to inflate or whose CRC does not match stay on disk as written, and the
        // extraction fails.
        if (!record.intact) return Fail();
        ApplyEntryTime(file.Get(), fileDosDate);
        file.Reset();
        return Step::Continue;

    case Kind::Refused:
        return Fail();

    case Kind::Finished:
        file.Reset();
        return record.intact ? Step::Succeeded : Step::Failed;
    }
    return Fail();
}

}  // namespace kav
