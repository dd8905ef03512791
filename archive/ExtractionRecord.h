#pragma once
// One step of an extraction, as the thread that reads and inflates an archive hands it to the
// thread that writes to disk. An entry becomes a Folder record, or a FileStart record, its
// FileData records and a FileEnd record; a walk ends with Refused or Finished.
#include <windows.h>

#include <string>
#include <vector>

namespace kav {

struct ExtractionRecord {
    enum class Kind {
        Folder,     // create the folder chain of path
        FileStart,  // create the file at path (asking about name when it cannot be created)
        FileData,   // write data[0, size) to the file started last
        FileEnd,    // the file's data are complete; intact tells whether they arrived whole and the CRC matched
        Refused,    // the entry cannot be extracted (unreadable record, a name that leads elsewhere): stop
        Finished,   // nothing follows; intact tells whether the catalogue walk ended cleanly
    };

    Kind kind = Kind::Finished;
    std::string path;           // Folder, FileStart: the destination joined with the entry name
    std::string name;           // FileStart: the entry name relative to the destination, backslashes
    unsigned long dosDate = 0;  // FileStart: MS-DOS date (high word) and time (low word)
    std::vector<char> data;     // FileData: a buffer of fixed capacity, reused from record to record
    DWORD size = 0;             // FileData: bytes of data in use
    bool intact = false;        // FileEnd, Finished
};

}  // namespace kav
