// Corrupted copies of a realistic package: extraction may fail, but it never crashes or hangs,
// never writes outside the destination, and never reports damaged data as extracted.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ArchiveTestSupport.h"
#include "TestSupport.h"
#include "archive/UnzipToFolder.h"
#include "system/Handles.h"

namespace {

constexpr std::uint32_t kSeed = 20180509;
constexpr int kCopies = 300;
constexpr DWORD kCaseTimeLimitMs = 30000;

// Names an attacker would put into a catalogue entry.
const char* const kHostileNames[] = {"../", "..\\", "/", "\\", "C:", "\\\\", "CON", "NUL", "COM1", ".. /", "...\\"};

std::vector<size_t> CatalogueRecords(const std::string& archive) {
    std::vector<size_t> records;
    for (size_t at = archive.find("PK\x01\x02"); at != std::string::npos; at = archive.find("PK\x01\x02", at + 4)) {
        if (at + 46 < archive.size()) records.push_back(at);
    }
    return records;
}

size_t Below(std::mt19937& random, size_t bound) { return bound == 0 ? 0 : random() % bound; }

std::string Mutate(const std::string& original, std::mt19937& random) {
    std::string copy = original;
    const int kind = static_cast<int>(random() % 6);
    switch (kind) {
    case 0:  // a few flipped bytes anywhere
        for (size_t n = 1 + Below(random, 8); n > 0; --n) copy[Below(random, copy.size())] ^= static_cast<char>(1 + Below(random, 255));
        break;
    case 1:  // cut off
        copy.resize(Below(random, copy.size()));
        break;
    case 2: {  // a size, offset or count field set to an extreme
        const size_t at = Below(random, copy.size() - 4);
        const std::uint32_t values[] = {0, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF, static_cast<std::uint32_t>(random())};
        const std::uint32_t value = values[Below(random, 5)];
        for (int i = 0; i < 4; ++i) copy[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        break;
    }
    case 3:  // a block of zeros
        for (size_t at = Below(random, copy.size()), n = 16 + Below(random, 240); n > 0 && at < copy.size(); --n, ++at) copy[at] = 0;
        break;
    default: {  // a hostile start for a catalogue name, perhaps with flipped bytes as well
        const std::vector<size_t> records = CatalogueRecords(copy);
        if (records.empty()) break;
        const size_t record = records[Below(random, records.size())];
        const size_t nameLength = static_cast<unsigned char>(copy[record + 28]) | (static_cast<unsigned char>(copy[record + 29]) << 8);
        const std::string hostile = kHostileNames[Below(random, std::size(kHostileNames))];
        for (size_t i = 0; i < hostile.size() && i < nameLength && record + 46 + i < copy.size(); ++i) copy[record + 46 + i] = hostile[i];
        if (kind == 5) copy[Below(random, copy.size())] ^= static_cast<char>(1 + Below(random, 255));
        break;
    }
    }
    return copy;
}

struct Extraction {
    std::string archive;
    std::string destination;
    bool result = false;
};

DWORD WINAPI RunExtraction(void* parameter) {
    auto* extraction = static_cast<Extraction*>(parameter);
    extraction->result = UnzipToFolder(extraction->archive.c_str(), extraction->destination.c_str());
    return 0;
}

TEST(UnzipMutation, CorruptedPackagesNeverEscapeCrashOrPassAsIntact) {
    const std::string original = kavtest::ReadFileBytes(kavtest::Fixture("package.zip"));
    ASSERT_GT(original.size(), 10000u);
    const std::string source = kavtest::Fixture("package-src");
    const std::vector<std::string> reference = kavtest::ListTree(source);
    std::vector<std::string> referenceBytes;
    for (const std::string& path : reference) referenceBytes.push_back(path.back() == '\\' ? "" : kavtest::ReadFileBytes(source + "\\" + path));

    kavtest::ScopedPromptScript prompt({IDIGNORE});
    std::mt19937 random(kSeed);
    int succeeded = 0;
    for (int copyIndex = 0; copyIndex < kCopies; ++copyIndex) {
        const std::string mutated = Mutate(original, random);
        kavtest::TempFolder box("mut");
        const std::string archive = box / "pkg.zip";
        const std::string destination = box.Path() + "\\outer\\dest";
        kavtest::WriteFileBytes(archive, mutated);

        // On a worker thread, so that a copy that never finishes is reported instead of waited for.
        Extraction extraction{archive, destination};
        const kav::UniqueHandle worker(::CreateThread(nullptr, 0, &RunExtraction, &extraction, 0, nullptr));
        ASSERT_TRUE(worker);
        if (::WaitForSingleObject(worker.Get(), kCaseTimeLimitMs) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "copy %d did not finish within the time limit\n", copyIndex);
            std::fflush(stderr);
            ::ExitProcess(3);
        }
        const bool result = extraction.result;

        for (const std::string& path : kavtest::ListTree(box.Path())) {
            const bool allowed = path == "pkg.zip" || path == "outer\\" || path.rfind("outer\\dest\\", 0) == 0;
            EXPECT_TRUE(allowed) << "copy " << copyIndex << " wrote " << path;
        }
        if (!result) continue;
        ++succeeded;
        // A copy reported as extracted whose names all survived must have all its data intact.
        if (kavtest::ListTree(destination) != reference) continue;
        for (size_t i = 0; i < reference.size(); ++i) {
            if (reference[i].back() == '\\') continue;
            EXPECT_EQ(kavtest::ReadFileBytes(destination + "\\" + reference[i]), referenceBytes[i])
                << "copy " << copyIndex << " reported intact but " << reference[i] << " differs";
        }
    }
    std::printf("%d of %d corrupted copies extracted without error\n", succeeded, kCopies);
}

}  // namespace
