#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/EntryPath.h"
#include "archive/ExtractionProgress.h"
#include "archive/OverwritePrompt.h"

namespace {

struct NameCase {
    const char* name;
    bool safe;
};

class EntryNameSafety : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNameSafety, RefusesNamesThatLeaveTheDestination) {
    EXPECT_EQ(kav::IsSafeEntryName(kav::EntryNameToRelativePath(GetParam().name)), GetParam().safe) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryNameSafety,
    ::testing::Values(
        NameCase{"a/b.txt", true}, NameCase{"c.txt", true}, NameCase{"a/", true}, NameCase{"./a.txt", true},
        NameCase{"a/./b.txt", true}, NameCase{"a..b/c", true}, NameCase{"..a/b", true}, NameCase{"a../b", true},
        NameCase{"a//b", true}, NameCase{".hidden", true}, NameCase{"CONFIG/x", true}, NameCase{"console.log", true},
        NameCase{"COM10", true}, NameCase{"COM0", true}, NameCase{"nulls.txt", true}, NameCase{"LPT", true},
        NameCase{"", false}, NameCase{"../x", false}, NameCase{"..\\x", false}, NameCase{"a/../../x", false},
        NameCase{"a/..", false}, NameCase{"..", false}, NameCase{"/x", false}, NameCase{"\\x", false},
        NameCase{"\\\\server\\share\\x", false}, NameCase{"//server/share/x", false}, NameCase{"\\\\?\\C:\\x", false},
        NameCase{"C:x", false}, NameCase{"C:\\x", false}, NameCase{"c:/x", false}, NameCase{"a/b:stream", false},
        NameCase{".. /x", false}, NameCase{"../", false}, NameCase{".../x", false}, NameCase{". ./x", false},
        NameCase{" /x", false}, NameCase{"a/. /x", false}, NameCase{"CON", false}, NameCase{"con", false},
        NameCase{"NUL", false}, NameCase{"nul.txt", false}, NameCase{"a/AUX.dat", false}, NameCase{"PRN/x", false},
        NameCase{"COM1", false}, NameCase{"com9.log", false}, NameCase{"LPT1 .log", false}, NameCase{"CON ", false},
        NameCase{"conin$", false}, NameCase{"CONOUT$.x", false}));

TEST(EntryName, SlashesBecomeBackslashesAndNothingElseChanges) {
    EXPECT_EQ(kav::EntryNameToRelativePath("a/b/c.txt"), "a\\b\\c.txt");
    EXPECT_EQ(kav::EntryNameToRelativePath("a\\b/ C.TXT "), "a\\b\\ C.TXT ");
    // GBK bytes (trail bytes may be 0x40-0xFE) are kept as they are.
    EXPECT_EQ(kav::EntryNameToRelativePath("\xD6\xD0/\xCE\xC4"), "\xD6\xD0\\\xCE\xC4");
}

TEST(EntryName, OnlyTheDirectoryAttributeMarksAFolder) {
    EXPECT_TRUE(kav::IsFolderEntry(0x10));
    EXPECT_TRUE(kav::IsFolderEntry(0x41ED0010));  // Info-ZIP: Unix mode above, MS-DOS bits below
    EXPECT_FALSE(kav::IsFolderEntry(0x41ED0000)); // a Unix directory mode alone does not count
    EXPECT_FALSE(kav::IsFolderEntry(0x20));
    EXPECT_FALSE(kav::IsFolderEntry(0));
}

struct JoinCase {
    std::string folder;
    std::string name;
    std::string joined;
};

class EntryJoin : public ::testing::TestWithParam<JoinCase> {};

TEST_P(EntryJoin, AddsOneSeparatorAndRefusesPathsOver259Bytes) {
    EXPECT_EQ(kav::JoinEntryPath(GetParam().folder, GetParam().name), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryJoin,
    ::testing::Values(JoinCase{"E:\\Out", "a\\b.txt", "E:\\Out\\a\\b.txt"},
                      JoinCase{"E:\\Out\\", "c.txt", "E:\\Out\\c.txt"},
                      JoinCase{"E:\\Out/", "c.txt", "E:\\Out/c.txt"},
                      JoinCase{"E:\\Out", "a\\", "E:\\Out\\a\\"},
                      // 6 + 1 + 252 = 259 bytes fit, one more does not.
                      JoinCase{"E:\\Out", std::string(252, 'n'), "E:\\Out\\" + std::string(252, 'n')},
                      JoinCase{"E:\\Out", std::string(253, 'n'), ""},
                      JoinCase{"E:\\Out\\", std::string(252, 'n'), "E:\\Out\\" + std::string(252, 'n')},
                      JoinCase{"E:\\Out\\", std::string(253, 'n'), ""}));

struct InsideCase {
    const char* folder;
    const char* path;
    bool allowSame;
    bool inside;
};

class InsideFolder : public ::testing::TestWithParam<InsideCase> {};

TEST_P(InsideFolder, ComparesNormalisedFullPaths) {
    EXPECT_EQ(kav::IsPathInsideFolder(GetParam().folder, GetParam().path, GetParam().allowSame), GetParam().inside)
        << GetParam().folder << " | " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, InsideFolder,
    ::testing::Values(InsideCase{"E:\\Out", "E:\\Out\\a.txt", false, true},
                      InsideCase{"E:\\Out\\", "E:\\Out\\a\\b.txt", false, true},
                      InsideCase{"E:\\Out", "E:\\Out\\a\\", false, true},
                      InsideCase{"E:\\Out", "E:\\Outside\\a.txt", false, false},  // a sibling sharing the prefix
                      InsideCase{"E:\\Out", "E:\\Ou", false, false},
                      InsideCase{"E:\\Out", "E:\\evil.txt", false, false},
                      InsideCase{"E:\\Out", "\\\\.\\CON", false, false},
                      InsideCase{"E:\\Out", "E:\\Out", false, false},
                      InsideCase{"E:\\Out", "E:\\Out\\", false, false},
                      InsideCase{"E:\\Out", "E:\\Out\\", true, true},
                      InsideCase{"E:\\Out", "E:\\Out", true, true},
                      InsideCase{"E:\\", "E:\\a.txt", false, true},
                      InsideCase{"", "E:\\a.txt", false, false}));

TEST(FolderChain, SkipsEmptyComponentsAndNeverTheDrive) {
    using Chain = std::vector<std::string>;
    EXPECT_EQ(kav::FolderChain("E:\\Out\\\\new\\"), (Chain{"E:\\Out", "E:\\Out\\new"}));
    EXPECT_EQ(kav::FolderChain("E:/Out/new"), (Chain{"E:\\Out", "E:\\Out\\new"}));
    EXPECT_EQ(kav::FolderChain("E:\\"), Chain{});
    EXPECT_EQ(kav::FolderChain("E:"), Chain{});
    EXPECT_EQ(kav::FolderChain(""), Chain{});
    // Two leading backslashes are dropped with the other empty components.
    EXPECT_EQ(kav::FolderChain("\\\\server\\share\\x"), (Chain{"server\\share", "server\\share\\x"}));
}

TEST(PathParts, ParentAndArchiveFolder) {
    EXPECT_EQ(kav::ParentOfPath("E:\\Out\\a\\b.txt"), "E:\\Out\\a");
    EXPECT_EQ(kav::ParentOfPath("E:\\Out\\d\\"), "E:\\Out\\d");
    EXPECT_EQ(kav::ParentOfPath("b.txt"), "");
    EXPECT_EQ(kav::FolderOfFullPath("D:\\Prof\\Local\\KAvrindel201805v9.5temp\\base.zip"),
              "D:\\Prof\\Local\\KAvrindel201805v9.5temp\\");
    EXPECT_EQ(kav::FolderOfFullPath("D:\\base.zip"), "D:\\");
}

TEST(OverwritePrompt, NamesTheEntryBetweenQuotesInGbk) {
    // "无法覆盖文件" ... "是否终止升级?" in code page 936, written as bytes so that the check does
    // not depend on how this file is compiled.
    const std::string expected =
        "\xCE\xDE\xB7\xA8\xB8\xB2\xB8\xC7\xCE\xC4\xBC\xFE\"a\\b.txt\",\xB8\xC3\xCE\xC4\xBC\xFE\xBF\xC9\xC4\xDC"
        "\xD5\xFD\xB1\xBB\xCA\xB9\xD3\xC3!\n\xCA\xC7\xB7\xF1\xD6\xD5\xD6\xB9\xC9\xFD\xBC\xB6?";
    EXPECT_EQ(kav::FormatOverwritePrompt("a\\b.txt"), expected);
    // A long name is cut to the 1024-byte buffer.
    EXPECT_EQ(kav::FormatOverwritePrompt(std::string(2000, 'x').c_str()).size(), 1023u);
}

struct ProgressCase {
    int old;
    int expected;
    int result;
};

class ExtractionProgress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ExtractionProgress, AddsTenOverTheDownloadsTruncatedAfterTheAddition) {
    EXPECT_EQ(kav::AdvanceExtractionProgress(GetParam().old, GetParam().expected), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Table, ExtractionProgress,
                         ::testing::Values(ProgressCase{50, 3, 53}, ProgressCase{53, 3, 56}, ProgressCase{56, 3, 59},
                                           ProgressCase{64, 5, 66}, ProgressCase{64, 6, 65}, ProgressCase{65, 6, 66},
                                           ProgressCase{0, 1, 10}, ProgressCase{50, 0, 50},
                                           ProgressCase{50, -2, 50}));

}  // namespace
