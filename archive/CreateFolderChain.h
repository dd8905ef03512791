#pragma once
// Creating every folder of a drive-letter path.

// Creates the folders named by path ("/" read as a backslash; doubled, leading and trailing
// separators add nothing; the first component, normally the drive, is never created). A folder
// that already exists is fine; any other failure returns false at once, and folders created so
// far stay. Shows no message.
bool CreateFolderChain(const char* path);
