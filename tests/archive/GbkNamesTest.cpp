// Runs with the system code page 936, as on the machines the installer is made for.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ArchiveTestSupport.h"
#include "TestSupport.h"
#include "archive/UnzipToFolder.h"
#include "system/TextCodec.h"

namespace {

TEST(GbkNames, EntryNamesAreUsedAsCodePage936Bytes) {
    ASSERT_EQ(::GetACP(), 936u) << "this test needs the Chinese (PRC) system locale";
    kavtest::TempFolder folder("unzgbk");
    const std::string destination = folder / "dest";
    ASSERT_TRUE(UnzipToFolder(kavtest::Fixture("gbk.zip").c_str(), destination.c_str()));

    // Found through the UTF-16 interface: the bytes were read as GBK, not as another code page.
    const std::wstring wideDestination = kav::WideFromNarrow(destination.c_str(), kav::kGbkCodePage, 1024);
    ASSERT_FALSE(wideDestination.empty());
    const DWORD folderAttributes = ::GetFileAttributesW((wideDestination + L"\\中文目录").c_str());
    ASSERT_NE(folderAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(folderAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(::GetFileAttributesW((wideDestination + L"\\中文目录\\数据文件.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW((wideDestination + L"\\说明.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    // "行情数据" in code page 936, the entry's data unchanged.
    EXPECT_EQ(kavtest::ReadFileBytes(destination + "\\\xD6\xD0\xCE\xC4\xC4\xBF\xC2\xBC\\\xCA\xFD\xBE\xDD\xCE\xC4\xBC\xFE.txt"),
              "\xD0\xD0\xC7\xE9\xCA\xFD\xBE\xDD\r\n");
}

}  // namespace
