#pragma once
// One zip archive opened with minizip and extracted entry by entry into a folder.
#include <unzip.h>

#include <string>

#include "archive/EntryWriter.h"

class TUnzip {
public:
    TUnzip() = default;
    virtual ~TUnzip();
    TUnzip(const TUnzip&) = delete;
    TUnzip& operator=(const TUnzip&) = delete;

    // Closes any open archive, then opens the one at path (resolved to a full path of at most
    // 259 bytes). False for an absent or empty path, one that does not resolve, or a file that is
    // not a zip archive.
    bool Open(const char* path);

    // Extracts every entry in catalogue order into destination. False when nothing is open, the
    // destination cannot be created, the archive lists no entries, an entry fails, or the
    // catalogue is damaged before its end; what was written stays.
    bool ExtractAll(const char* destination);

    // Extracts the entry the archive is positioned on into destination (the archive's own folder
    // when destination is null).
    bool ExtractCurrent(const char* destination);

    // Closes the archive if one is open and clears the archive folder.
    void Close();

private:
    // Extracts the current entry (and with wholeArchive every one after it) into folder: a thread
    // reads and inflates ahead while this thread writes what it has read, in catalogue order.
    bool Extract(const std::string& folder, bool wholeArchive);

    unzFile archive = nullptr;
    char archiveFolder[261] = {};
    kav::EntryWriter writer;  // keeps the folders made or found during this archive
};
