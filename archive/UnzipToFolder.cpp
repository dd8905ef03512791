#include "archive/UnzipToFolder.h"

#include "archive/TUnzip.h"

bool UnzipToFolder(const char* archivePath, const char* destination) {
    TUnzip unzip;
    if (!unzip.Open(archivePath)) return false;
    return unzip.ExtractAll(destination);
}
