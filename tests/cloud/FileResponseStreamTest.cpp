#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "cloud/FileResponseStream.h"
#include "system/Handles.h"

namespace {

TEST(FileResponseStream, TruncatesAndSharesTheFileForReadingAndWriting) {
    kavtest::TempFolder folder("kavstream");
    const std::string path = folder / "package.zip";
    kavtest::WriteFileBytes(path, "an older and longer content");

    auto first = kav::oss::FileResponseStream::Open(path);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->Write("new", 3));
    // Another process (here: another handle) may read and write the file while it downloads.
    kav::UniqueHandle other(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(other.IsValid()) << ::GetLastError();
    other.Reset();
    // A download that starts over empties the stream and writes from its start.
    ASSERT_TRUE(first->Write(" and more", 9));
    EXPECT_EQ(kavtest::ReadFileBytes(path), "new and more");
    ASSERT_TRUE(first->Truncate());
    EXPECT_EQ(kavtest::ReadFileBytes(path), "");
    ASSERT_TRUE(first->Write("again", 5));
    ASSERT_TRUE(first->Write("!", 1));
    first.reset();
    EXPECT_EQ(kavtest::ReadFileBytes(path), "again!");
}

TEST(FileResponseStream, NoStreamWhenTheFolderIsMissing) {
    kavtest::TempFolder folder("kavstream");
    EXPECT_EQ(kav::oss::FileResponseStream::Open(folder / "missing\\package.zip"), nullptr);
}

}  // namespace
