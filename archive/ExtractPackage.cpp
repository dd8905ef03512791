#include <cstdio>

#include "archive/ExtractionProgress.h"
#include "archive/UnzipToFolder.h"
#include "cloud/IClient.h"
#include "engine/WorkerMessages.h"

bool IClient::ExtractPackage(const char* archivePath, const char* destination) {
    // A package that was not downloaded (there is none for this build) counts as extracted.
    FILE* probe = archivePath != nullptr ? std::fopen(archivePath, "r") : nullptr;
    if (probe == nullptr) return true;
    std::fclose(probe);

    const bool result = UnzipToFolder(archivePath, destination);
    progressPercent = kav::AdvanceExtractionProgress(progressPercent, downloadsExpected);
    if (result) PostInstallMessage(WM_INSTALL_PROGRESS, progressPercent);
    return result;
}
