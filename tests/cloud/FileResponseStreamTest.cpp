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
    // A retry opens a fresh stream while the first one may still be open.
    auto second = kav::oss::FileResponseStream::Open(path);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(second->Write("retry", 5));
    first.reset();
    second.reset();
    EXPECT_EQ(kavtest::ReadFileBytes(path), "retry");
}

TEST(FileResponseStream, NoStreamWhenTheFolderIsMissing) {
    kavtest::TempFolder folder("kavstream");
    EXPECT_EQ(kav::oss::FileResponseStream::Open(folder / "missing\\package.zip"), nullptr);
}

}  // namespace
