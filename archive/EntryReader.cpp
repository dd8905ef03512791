#include "archive/EntryReader.h"

#include <cstring>

#include "archive/DestinationCheck.h"
#include "archive/EntryPath.h"

namespace kav {

namespace {

constexpr unsigned kCopyBufferBytes = 2048;
constexpr unsigned long kStoredMethod = 0;
constexpr unsigned long kDeflatedMethod = Z_DEFLATED;

// Claims a record, lets fill set it up and publishes it; false when the queue was stopped.
template <typename Fill>
bool Push(ExtractionQueue& queue, Fill fill) {
    ExtractionRecord* record = queue.Claim();
    if (record == nullptr) return false;
    fill(*record);
    queue.Publish();
    return true;
}

bool PushMarker(ExtractionQueue& queue, ExtractionRecord::Kind kind, bool intact) {
    return Push(queue, [&](ExtractionRecord& record) {
        record.kind = kind;
        record.intact = intact;
    });
}

// Inflates the open entry into FileData records, each filled with 2048-byte pieces up to its
// buffer's capacity so that the writer makes one write per record. 0 when all the data arrived;
// a negative minizip result for a read or inflate error; 1 when the queue was stopped.
int ReadEntryData(unzFile archive, ExtractionQueue& queue) {
    for (;;) {
        ExtractionRecord* record = queue.Claim();
        if (record == nullptr) return 1;
        record->kind = ExtractionRecord::Kind::FileData;
        record->size = 0;
        const size_t capacity = record->data.size();
        int n = 0;
        while (record->size + kCopyBufferBytes <= capacity &&
               (n = unzReadCurrentFile(archive, record->data.data() + record->size, kCopyBufferBytes)) > 0) {
            record->size += static_cast<DWORD>(n);
        }
        // A record is published even when empty or cut short by an error: the claim must be
        // returned, and what arrived before the error is written, as a direct copy would have.
        queue.Publish();
        if (n < 0) return n;
        if (n == 0) break;
    }
    // minizip ends a stored entry whose data run out early with 0 as well, and checks the CRC only
    // when the whole catalogue size arrived: data that stop short are damaged too.
    if (unzeof(archive) != 1) return UNZ_BADZIPFILE;
    return 0;
}

enum class EntryOutcome { Next, Refused, Stopped };

EntryOutcome ReadCurrentEntry(unzFile archive, const std::string& folder, ExtractionQueue& queue) {
    using Kind = ExtractionRecord::Kind;
    char name[kEntryNameBufferBytes];
    std::memset(name, 0, sizeof name);
    unz_file_info info;
    std::memset(&info, 0, sizeof info);
    if (unzGetCurrentFileInfo(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) return EntryOutcome::Refused;
    // A name that fills the buffer arrives cut and unterminated.
    if (info.size_filename >= kEntryNameBufferBytes) return EntryOutcome::Refused;
    const std::string relative = EntryNameToRelativePath(name);
    const bool folderEntry = IsFolderEntry(info.external_fa);

    if (!IsSafeEntryName(relative)) return EntryOutcome::Refused;
    const std::string path = JoinEntryPath(folder, relative);
    if (path.empty()) return EntryOutcome::Refused;
    if (!StaysInsideDestination(folder, path, folderEntry)) return EntryOutcome::Refused;

    if (folderEntry) {
        const bool pushed = Push(queue, [&](ExtractionRecord& record) {
            record.kind = Kind::Folder;
            record.path = path;
        });
        return pushed ? EntryOutcome::Next : EntryOutcome::Stopped;
    }
    if (ParentOfPath(path).empty()) return EntryOutcome::Refused;

    const bool started = Push(queue, [&](ExtractionRecord& record) {
        record.kind = Kind::FileStart;
        record.path = path;
        record.name = relative;
        record.dosDate = info.dosDate;
    });
    if (!started) return EntryOutcome::Stopped;

    // The file's fate is the writer's: an entry whose data fail is still only skipped if the user
    // chose to ignore its file, so the walk goes on after a damaged entry and the writer stops it.
    // minizip accepts a bzip2 entry for opening even when built without bzip2, and its read loop
    // then never ends; only the two methods it can decode are opened.
    bool intact = false;
    if ((info.compression_method == kStoredMethod || info.compression_method == kDeflatedMethod) &&
        unzOpenCurrentFile(archive) == UNZ_OK) {
        const int copied = ReadEntryData(archive, queue);
        const int closed = unzCloseCurrentFile(archive);
        if (copied == 1) return EntryOutcome::Stopped;
        intact = copied == 0 && closed == UNZ_OK;
    }
    return PushMarker(queue, Kind::FileEnd, intact) ? EntryOutcome::Next : EntryOutcome::Stopped;
}

}  // namespace

void ReadEntries(unzFile archive, const std::string& folder, bool wholeArchive, ExtractionQueue& queue) {
    using Kind = ExtractionRecord::Kind;
    for (;;) {
        switch (ReadCurrentEntry(archive, folder, queue)) {
        case EntryOutcome::Stopped: return;
        case EntryOutcome::Refused: PushMarker(queue, Kind::Refused, false); return;
        case EntryOutcome::Next: break;
        }
        if (!wholeArchive) {
            PushMarker(queue, Kind::Finished, true);
            return;
        }
        const int next = unzGoToNextFile(archive);
        if (next == UNZ_OK) continue;
        // A catalogue entry that cannot be read hides the rest of the archive.
        PushMarker(queue, Kind::Finished, next == UNZ_END_OF_LIST_OF_FILE);
        return;
    }
}

}  // namespace kav
