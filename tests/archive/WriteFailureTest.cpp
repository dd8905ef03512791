// Runs under a file-size limit of 8 MiB (see run-with-file-size-limit): a write that would make a
// file larger fails, as a write to a full disk does, in the middle of an entry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ArchiveTestSupport.h"
#include "TestSupport.h"
#include "archive/TUnzip.h"

namespace {

constexpr size_t kFileSizeLimit = 8u << 20;
constexpr size_t kHugeEntryBytes = 9u << 20;  // huge.bin of write-limit.zip; byte j is j % 251

TEST(WriteFailure, EndsTheExtractionAndWritesNothingOfLaterEntries) {
    kavtest::TempFolder folder("unzwrite");
    const std::string destination = folder / "dest";
    TUnzip unzip;
    ASSERT_TRUE(unzip.Open(kavtest::Fixture("write-limit.zip").c_str()));
    EXPECT_FALSE(unzip.ExtractAll(destination.c_str()));

    EXPECT_EQ(kavtest::ListTree(destination), (std::vector<std::string>{"before.txt", "huge.bin"}));
    EXPECT_EQ(kavtest::ReadFileBytes(destination + "\\before.txt"), "before\n");
    // What was written before the failure stays, in order and nothing else.
    const std::string partial = kavtest::ReadFileBytes(destination + "\\huge.bin");
    ASSERT_GT(partial.size(), 0u);
    ASSERT_LE(partial.size(), kFileSizeLimit);
    ASSERT_LT(partial.size(), kHugeEntryBytes) << "the file-size limit is not in force";
    bool inOrder = true;
    for (size_t j = 0; j < partial.size() && inOrder; ++j) inOrder = static_cast<unsigned char>(partial[j]) == j % 251;
    EXPECT_TRUE(inOrder);

    // The failed extraction's reading thread has ended and let go of the archive: the object
    // extracts the next archive as if nothing had happened.
    const std::string next = folder / "next";
    ASSERT_TRUE(unzip.Open(kavtest::Fixture("tree.zip").c_str()));
    EXPECT_TRUE(unzip.ExtractAll(next.c_str()));
    EXPECT_EQ(kavtest::ReadFileBytes(next + "\\a\\b.txt"), "inside a\r\n");
}

}  // namespace
