// Extracts one archive with the installer's extraction code and prints the time it took.
// Usage: kavrindel_unzip_bench <archive> <destination>
#include <windows.h>

#include <cstdio>

#include "archive/UnzipToFolder.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <archive> <destination>\n", argv[0]);
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const bool ok = UnzipToFolder(argv[1], argv[2]);
    ::QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("%.3f\n", seconds);
    return ok ? 0 : 1;
}
