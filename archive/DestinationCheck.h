#pragma once
// The last guard before an entry is written: where Windows itself puts the joined path.
#include <string>

namespace kav {

// Whether joined (the destination plus an entry name) still lies inside destination once
// GetFullPathNameA has normalised both (".." and "." components, trailing dots and spaces, device
// names). False when either does not resolve into 260 bytes. folderEntry also accepts the
// destination itself.
bool StaysInsideDestination(const std::string& destination, const std::string& joined, bool folderEntry);

// The full path of path from GetFullPathNameA; empty when it fails or needs 260 bytes or more.
std::string FullPathOf(const std::string& path);

}  // namespace kav
