#include "archive/TUnzip.h"

#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "archive/DestinationCheck.h"
#include "archive/EntryPath.h"
#include "archive/EntryReader.h"
#include "archive/ExtractionQueue.h"

namespace {

// Records in flight between the reading and the writing thread, each with a buffer for up to
// 64 KiB of an entry's data (one write per record): 2 MiB at most, whatever the archive holds.
constexpr size_t kQueueSlots = 32;
constexpr size_t kWriteRunBytes = 64 * 1024;

// The reading thread of one extraction. Leaving the scope, on any path, stops the queue (a reader
// waiting for room gives up) and waits for the thread to end, so it never outlives the archive.
class ReadAhead {
public:
    ReadAhead(unzFile archive, const std::string& folder, bool wholeArchive, kav::ExtractionQueue& queue)
        : queue(queue), thread([=, &queue] { Run(archive, folder, wholeArchive, queue); }) {}
    ~ReadAhead() {
        queue.Stop();
        thread.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

private:
    static void Run(unzFile archive, const std::string& folder, bool wholeArchive, kav::ExtractionQueue& queue) {
        try {
            kav::ReadEntries(archive, folder, wholeArchive, queue);
        } catch (const std::bad_alloc&) {
            // Out of memory for an entry's path: the writer stops at this record, as at any
            // entry that cannot be extracted.
            if (kav::ExtractionRecord* record = queue.Claim()) {
                record->kind = kav::ExtractionRecord::Kind::Refused;
                queue.Publish();
            }
        }
    }

    kav::ExtractionQueue& queue;
    std::thread thread;
};

}  // namespace

TUnzip::~TUnzip() { Close(); }

void TUnzip::Close() {
    if (archive != nullptr) {
        unzClose(archive);
        archive = nullptr;
    }
    archiveFolder[0] = '\0';
    writer.Reset();
}

bool TUnzip::Open(const char* path) {
    Close();
    if (path == nullptr || path[0] == '\0') return false;
    const std::string full = kav::FullPathOf(path);
    if (full.empty()) return false;
    archive = unzOpen(full.c_str());
    if (archive == nullptr) return false;
    const std::string folder = kav::FolderOfFullPath(full);
    std::memcpy(archiveFolder, folder.c_str(), folder.size() + 1);
    return true;
}

bool TUnzip::ExtractAll(const char* destination) {
    if (archive == nullptr || destination == nullptr) return false;
    if (!writer.EnsureFolderChain(destination)) return false;
    unz_global_info globalInfo = {};
    if (unzGetGlobalInfo(archive, &globalInfo) != UNZ_OK || globalInfo.number_entry == 0) return false;
    if (unzGoToFirstFile(archive) != UNZ_OK) return false;
    return Extract(destination, true);
}

bool TUnzip::ExtractCurrent(const char* destination) {
    if (archive == nullptr) return false;
    const std::string folder = destination != nullptr ? destination : archiveFolder;
    if (!writer.EnsureFolderChain(folder)) return false;
    return Extract(folder, false);
}

bool TUnzip::Extract(const std::string& folder, bool wholeArchive) {
    try {
        kav::ExtractionQueue queue(kQueueSlots, kWriteRunBytes);
        const ReadAhead reader(archive, folder, wholeArchive, queue);
        for (;;) {
            const kav::EntryWriter::Step step = writer.Apply(queue.Next());
            queue.Release();
            if (step != kav::EntryWriter::Step::Continue) return step == kav::EntryWriter::Step::Succeeded;
        }
    } catch (const std::system_error&) {
        return false;  // no thread could be started
    } catch (const std::bad_alloc&) {
        return false;  // no room for the queue or a folder name
    }
}
