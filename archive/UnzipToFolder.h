#pragma once
// Extracting one archive into a folder in a single call.

// Opens the archive and extracts all of it into destination. False when the archive cannot be
// opened or the extraction fails.
bool UnzipToFolder(const char* archivePath, const char* destination);
