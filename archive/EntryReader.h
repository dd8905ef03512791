#pragma once
// The reading half of an extraction: walks a minizip archive, checks each entry's name and
// inflates its data into extraction records. It touches nothing on disk but the archive, so it can
// run ahead of the writing half on a thread of its own.
#include <unzip.h>

#include <string>

#include "archive/ExtractionQueue.h"

namespace kav {

// Reads the entry the archive is positioned on (and, with wholeArchive, every entry after it in
// catalogue order) into records for a destination folder, and ends with a Refused or Finished
// record. Returns early without either when the consumer stops the queue.
void ReadEntries(unzFile archive, const std::string& folder, bool wholeArchive, ExtractionQueue& queue);

}  // namespace kav
