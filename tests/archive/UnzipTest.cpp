#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ArchiveTestSupport.h"
#include "TestSupport.h"
#include "archive/CreateFolderChain.h"
#include "archive/DestinationCheck.h"
#include "archive/TUnzip.h"
#include "archive/UnzipToFolder.h"
#include "system/Handles.h"

#include <zlib.h>

namespace {

using kavtest::Fixture;
using kavtest::ListTree;
using kavtest::ReadFileBytes;
using Tree = std::vector<std::string>;

// A destination two levels below a temporary folder, so that anything written beside or above
// the destination shows up in the temporary folder's listing.
struct Sandbox {
    kavtest::TempFolder root{"unz"};
    std::string destination = root.Path() + "\\outer\\dest";

    // Everything in the sandbox that is not below the destination (the archive copy excepted).
    Tree Outside() const {
        Tree outside;
        for (const std::string& path : ListTree(root.Path())) {
            if (path == "outer\\" || path == "outer\\dest\\" || path.rfind("outer\\dest\\", 0) == 0) continue;
            outside.push_back(path);
        }
        return outside;
    }
};

TEST(Unzip, ExtractsFoldersAndFilesOfAnInfoZipArchive) {
    Sandbox box;
    ASSERT_TRUE(UnzipToFolder(Fixture("tree.zip").c_str(), box.destination.c_str()));
    EXPECT_EQ(ListTree(box.destination), (Tree{"a\\", "a\\b.txt", "c.txt", "empty\\"}));
    EXPECT_EQ(ReadFileBytes(box.destination + "\\a\\b.txt"), "inside a\r\n");
    EXPECT_EQ(ReadFileBytes(box.destination + "\\c.txt"), "top level\r\n");
}

TEST(Unzip, CreatesTheFoldersOfAFileWithoutFolderEntries) {
    Sandbox box;
    ASSERT_TRUE(UnzipToFolder(Fixture("nofolders.zip").c_str(), box.destination.c_str()));
    EXPECT_EQ(ListTree(box.destination), (Tree{"x\\", "x\\y\\", "x\\y\\z.dat"}));
    EXPECT_EQ(ReadFileBytes(box.destination + "\\x\\y\\z.dat"), "deep\n");
}

TEST(Unzip, ExtractsARealisticPackageByteForByte) {
    Sandbox box;
    ASSERT_TRUE(UnzipToFolder(Fixture("package.zip").c_str(), box.destination.c_str()));
    const std::string source = Fixture("package-src");
    const Tree expected = ListTree(source);
    ASSERT_EQ(ListTree(box.destination), expected);
    for (const std::string& path : expected) {
        if (path.back() == '\\') continue;
        EXPECT_EQ(ReadFileBytes(box.destination + "\\" + path), ReadFileBytes(source + "\\" + path)) << path;
    }
}

TEST(Unzip, StoredAndDeflatedEntriesGiveTheSameBytes) {
    Sandbox box;
    ASSERT_TRUE(UnzipToFolder(Fixture("methods.zip").c_str(), box.destination.c_str()));
    const std::string stored = ReadFileBytes(box.destination + "\\stored.txt");
    EXPECT_GT(stored.size(), 2048u);  // more than one piece of the copy loop
    EXPECT_EQ(ReadFileBytes(box.destination + "\\deflated.txt"), stored);
    EXPECT_GT(ReadFileBytes(box.destination + "\\big.bin").size(), 400000u);
    EXPECT_TRUE(kavtest::PathExists(box.destination + "\\zero.txt"));
    EXPECT_EQ(ReadFileBytes(box.destination + "\\zero.txt"), "");
}

// run-edges.zip: for each size, a stored and a deflated entry of that many bytes, in this order;
// byte j of an entry of n bytes is (j * 31 + n) % 251.
constexpr size_t kEdgeSizes[] = {1, 2047, 2048, 2049, 63488, 65535, 65536, 65537, 4 * 65536 + 2048 + 3};

std::string EdgeBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t j = 0; j < size; ++j) bytes[j] = static_cast<char>((j * 31 + size) % 251);
    return bytes;
}

// run-edges.zip's entry names with their sizes, in catalogue order.
std::vector<std::pair<std::string, size_t>> EdgeEntries() {
    std::vector<std::pair<std::string, size_t>> entries;
    for (const size_t size : kEdgeSizes) {
        for (const char* method : {"stored", "deflated"}) {
            entries.emplace_back(std::string(method) + "-" + std::to_string(size) + ".bin", size);
        }
    }
    return entries;
}

TEST(Unzip, EntriesOfEverySizeArriveWhole) {
    // Sizes on both sides of the read pieces and of the write runs: a run written twice, cut
    // short or left unwritten at the end of an entry changes the file.
    Sandbox box;
    ASSERT_TRUE(UnzipToFolder(Fixture("run-edges.zip").c_str(), box.destination.c_str()));
    for (const auto& [name, size] : EdgeEntries()) {
        EXPECT_EQ(ReadFileBytes(box.destination + "\\" + name), EdgeBytes(size)) << name;
    }
}

TEST(Unzip, ReplacesAnExistingFile) {
    Sandbox box;
    ASSERT_TRUE(CreateFolderChain((box.destination + "\\a").c_str()));
    kavtest::WriteFileBytes(box.destination + "\\a\\b.txt", std::string(5000, 'o'));
    ASSERT_TRUE(UnzipToFolder(Fixture("tree.zip").c_str(), box.destination.c_str()));
    EXPECT_EQ(ReadFileBytes(box.destination + "\\a\\b.txt"), "inside a\r\n");
}

struct FailureCase {
    const char* archive;
    Tree leftBehind;  // the destination's content afterwards
};

class FailedExtraction : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedExtraction, ReturnsFalseAndKeepsWhatWasWritten) {
    Sandbox box;
    kavtest::ScopedPromptScript prompt({IDABORT});
    EXPECT_FALSE(UnzipToFolder(Fixture(GetParam().archive).c_str(), box.destination.c_str()));
    EXPECT_EQ(ListTree(box.destination), GetParam().leftBehind);
    EXPECT_EQ(box.Outside(), Tree{});
    EXPECT_TRUE(prompt.Script().texts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailedExtraction,
    ::testing::Values(
        FailureCase{"empty.zip", {}},
        FailureCase{"truncated.zip", {}},
        FailureCase{"missing.zip", {}},
        // The CRC does not match: the file stays as written, the rest is not extracted.
        FailureCase{"badcrc-stored.zip", {"bad.txt", "ok.txt"}},
        FailureCase{"badcrc-deflated.zip", {"bad.txt", "ok.txt"}},
        // Methods minizip cannot decode leave an empty file and never hang.
        FailureCase{"method12.zip", {"packed.bin"}},
        FailureCase{"method14.zip", {"packed.bin"}},
        FailureCase{"method99.zip", {"packed.bin"}},
        // A catalogue entry that cannot be read ends the walk with a failure.
        FailureCase{"damaged-catalogue.zip", {"one.txt"}},
        // Names that would lead outside the destination, or to a device, fail before anything of
        // the entry is written; the entry before them stays.
        FailureCase{"slip-dotdot.zip", {"first.txt"}}, FailureCase{"slip-dotdot-backslash.zip", {"first.txt"}},
        FailureCase{"slip-dotdot-deep.zip", {"first.txt"}},
        // A ".." component is refused even where it would stay inside.
        FailureCase{"inside-dotdot-within.zip", {"first.txt"}}, FailureCase{"slip-dotdot-folder.zip", {"first.txt"}},
        FailureCase{"slip-dotdot-folder-entry.zip", {"first.txt"}},
        FailureCase{"slip-root-backslash.zip", {"first.txt"}}, FailureCase{"slip-root-slash.zip", {"first.txt"}},
        FailureCase{"slip-drive-relative.zip", {"first.txt"}}, FailureCase{"slip-drive-absolute.zip", {"first.txt"}},
        FailureCase{"slip-unc.zip", {"first.txt"}}, FailureCase{"slip-device-path.zip", {"first.txt"}},
        FailureCase{"slip-dotdot-trailing-space.zip", {"first.txt"}},
        FailureCase{"slip-dotdot-trailing-dot.zip", {"first.txt"}}, FailureCase{"slip-dots-spaces.zip", {"first.txt"}},
        FailureCase{"slip-stream.zip", {"first.txt"}}, FailureCase{"device-con.zip", {"first.txt"}},
        FailureCase{"device-nul.zip", {"first.txt"}}, FailureCase{"device-com1.zip", {"first.txt"}},
        FailureCase{"device-con-ext.zip", {"first.txt"}}, FailureCase{"device-nested.zip", {"first.txt"}},
        FailureCase{"device-lpt1-space.zip", {"first.txt"}}, FailureCase{"empty-name.zip", {"first.txt"}},
        // Names beyond the limits: 260 bytes fill the name buffer; 300 bytes make a joined path
        // over 259 bytes.
        FailureCase{"name-260.zip", {"first.txt"}}, FailureCase{"name-300.zip", {"first.txt"}}));

struct InsideCase {
    const char* archive;
    const char* extracted;  // where the middle entry's file lands
};

class NormalisedInside : public ::testing::TestWithParam<InsideCase> {};

TEST_P(NormalisedInside, NamesThatStayInsideAreExtracted) {
    Sandbox box;
    kavtest::ScopedPromptScript prompt({IDABORT});
    EXPECT_TRUE(UnzipToFolder(Fixture(GetParam().archive).c_str(), box.destination.c_str()));
    EXPECT_EQ(ReadFileBytes(box.destination + "\\" + GetParam().extracted), "payload\n");
    EXPECT_EQ(ReadFileBytes(box.destination + "\\after.txt"), "after\n");
    EXPECT_EQ(box.Outside(), Tree{});
}

INSTANTIATE_TEST_SUITE_P(Table, NormalisedInside,
                         ::testing::Values(InsideCase{"inside-dot.zip", "sub\\inner.txt"},
                                           InsideCase{"inside-trailing-dot.zip", "sub\\inner.txt"}));

struct NormalisedCase {
    const char* suffix;  // appended to the destination as it stands
    bool folderEntry;
    bool inside;
};

class WindowsNormalisation : public ::testing::TestWithParam<NormalisedCase> {};

// The check behind the name rules: even a joined path the name rules would let through cannot
// leave the destination once Windows has resolved it.
TEST_P(WindowsNormalisation, FullPathsDecideWhereAJoinedPathLands) {
    kavtest::TempFolder folder("unznorm");
    const std::string destination = folder / "dest";
    EXPECT_EQ(kav::StaysInsideDestination(destination, destination + GetParam().suffix, GetParam().folderEntry),
              GetParam().inside)
        << GetParam().suffix;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsNormalisation,
    ::testing::Values(NormalisedCase{"\\a.txt", false, true}, NormalisedCase{"\\sub\\.\\a.txt", false, true},
                      NormalisedCase{"\\sub.\\a.txt", false, true}, NormalisedCase{"\\sub\\..\\a.txt", false, true},
                      NormalisedCase{"\\..\\a.txt", false, false}, NormalisedCase{"\\sub\\..\\..\\a.txt", false, false},
                      NormalisedCase{"\\..", true, false}, NormalisedCase{"\\.", true, true},
                      NormalisedCase{"\\.", false, false}, NormalisedCase{"\\..\\dest2\\a.txt", false, false},
                      NormalisedCase{"2\\a.txt", false, false},  // a sibling whose name starts like the destination
                      NormalisedCase{"\\x\\..\\..\\dest\\a.txt", false, true},
                      NormalisedCase{"\\\\a.txt", false, true}));

TEST(Unzip, JoinedPathOfExactly259BytesIsExtracted) {
    Sandbox box;
    // The destination folder, a backslash, "f\" and a file name that fills the path to 259 bytes.
    const size_t nameLength = 259 - box.destination.size() - 1 - 2;
    ASSERT_LT(nameLength, 256u);
    const std::string name(nameLength, 'L');
    TUnzip unzip;
    ASSERT_TRUE(CreateFolderChain((box.destination + "\\f").c_str()));
    // Not written by the generator, since the name length depends on the temporary folder.
    const std::string archive = box.root / "long.zip";
    {
        // A stored entry: local header, name, data; catalogue entry; end record.
        const std::string entry = "f/" + name;
        const std::string data = "long\n";
        const unsigned crc = static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
        auto u16 = [](std::string& s, unsigned v) { s += char(v & 0xFF); s += char((v >> 8) & 0xFF); };
        auto u32 = [&](std::string& s, unsigned v) { u16(s, v & 0xFFFF); u16(s, v >> 16); };
        std::string local, central, end;
        u32(local, 0x04034B50); u16(local, 20); u16(local, 0); u16(local, 0); u16(local, 0); u16(local, 0x5021);
        u32(local, crc); u32(local, data.size()); u32(local, data.size()); u16(local, entry.size()); u16(local, 0);
        local += entry + data;
        u32(central, 0x02014B50); u16(central, 20); u16(central, 20); u16(central, 0); u16(central, 0);
        u16(central, 0); u16(central, 0x5021); u32(central, crc); u32(central, data.size()); u32(central, data.size());
        u16(central, entry.size()); u16(central, 0); u16(central, 0); u16(central, 0); u16(central, 0);
        u32(central, 0x20); u32(central, 0);
        central += entry;
        u32(end, 0x06054B50); u16(end, 0); u16(end, 0); u16(end, 1); u16(end, 1); u32(end, central.size());
        u32(end, local.size()); u16(end, 0);
        kavtest::WriteFileBytes(archive, local + central + end);
    }
    ASSERT_TRUE(unzip.Open(archive.c_str()));
    EXPECT_TRUE(unzip.ExtractAll(box.destination.c_str()));
    EXPECT_EQ(ReadFileBytes(box.destination + "\\f\\" + name), "long\n");
}

TEST(Unzip, NameEndingInSlashWithoutFolderBitIsAFileAndBringsUpThePrompt) {
    Sandbox box;
    kavtest::ScopedPromptScript prompt({IDIGNORE});
    EXPECT_TRUE(UnzipToFolder(Fixture("slashfile.zip").c_str(), box.destination.c_str()));
    ASSERT_EQ(prompt.Script().texts.size(), 1u);
    EXPECT_NE(prompt.Script().texts[0].find("\"d\\\""), std::string::npos) << prompt.Script().texts[0];
    EXPECT_EQ(prompt.Script().captions[0], "\xBE\xAF\xB8\xE6");  // "警告" in code page 936
    EXPECT_EQ(ListTree(box.destination), (Tree{"d\\", "first.txt", "last.txt"}));
}

// A target that cannot be replaced. Windows also refuses to replace a read-only, hidden or system
// file this way; Wine running as root does not, so the tests block the file in ways it honours.
enum class Blocker { OpenElsewhere, FolderInTheWay };

struct PromptCase {
    Blocker blocker;
    int answer;
    bool result;
    bool restExtracted;
};

class OverwritePromptAnswers : public ::testing::TestWithParam<PromptCase> {};

TEST_P(OverwritePromptAnswers, AbortStopsIgnoreSkips) {
    Sandbox box;
    const std::string target = box.destination + "\\a\\b.txt";
    ASSERT_TRUE(CreateFolderChain((box.destination + "\\a").c_str()));
    kav::UniqueHandle holder;
    if (GetParam().blocker == Blocker::OpenElsewhere) {
        kavtest::WriteFileBytes(target, "old content");
        holder.Reset(::CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
    } else {
        ASSERT_TRUE(CreateFolderChain((target + "\\inner").c_str()));
    }
    kavtest::ScopedPromptScript prompt({GetParam().answer});
    EXPECT_EQ(UnzipToFolder(Fixture("tree.zip").c_str(), box.destination.c_str()), GetParam().result);
    holder.Reset();

    ASSERT_EQ(prompt.Script().texts.size(), 1u);
    EXPECT_NE(prompt.Script().texts[0].find("\"a\\b.txt\""), std::string::npos) << prompt.Script().texts[0];
    if (GetParam().blocker == Blocker::OpenElsewhere) {
        EXPECT_EQ(ReadFileBytes(target), "old content");
    }
    EXPECT_EQ(kavtest::PathExists(box.destination + "\\c.txt"), GetParam().restExtracted);
    EXPECT_EQ(kavtest::PathExists(box.destination + "\\empty"), GetParam().restExtracted);
}

INSTANTIATE_TEST_SUITE_P(Table, OverwritePromptAnswers,
                         ::testing::Values(PromptCase{Blocker::OpenElsewhere, IDIGNORE, true, true},
                                           PromptCase{Blocker::OpenElsewhere, IDABORT, false, false},
                                           PromptCase{Blocker::FolderInTheWay, IDIGNORE, true, true},
                                           PromptCase{Blocker::FolderInTheWay, IDABORT, false, false}));

kav::UniqueHandle g_retryHolder;

void ReleaseTheFileOnSecondPrompt(int call) {
    if (call == 1) g_retryHolder.Reset();
}

TEST(Unzip, RetryAsksAgainUntilTheFileCanBeCreated) {
    Sandbox box;
    const std::string target = box.destination + "\\a\\b.txt";
    ASSERT_TRUE(CreateFolderChain((box.destination + "\\a").c_str()));
    kavtest::WriteFileBytes(target, "old content");
    g_retryHolder.Reset(::CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(g_retryHolder);
    kavtest::ScopedPromptScript prompt({IDRETRY});
    prompt.Script().onPrompt = &ReleaseTheFileOnSecondPrompt;
    EXPECT_TRUE(UnzipToFolder(Fixture("tree.zip").c_str(), box.destination.c_str()));
    g_retryHolder.Reset();
    EXPECT_EQ(prompt.Script().texts.size(), 2u);
    EXPECT_EQ(ReadFileBytes(target), "inside a\r\n");
}

// The destination's files and their bytes at the moment the prompt came up.
std::string g_promptDestination;
std::vector<std::pair<std::string, std::string>> g_filesAtPrompt;

void RecordFilesAtPrompt(int) {
    g_filesAtPrompt.clear();
    for (const std::string& path : ListTree(g_promptDestination)) {
        g_filesAtPrompt.emplace_back(path, ReadFileBytes(g_promptDestination + "\\" + path));
    }
}

class PromptInTheMiddleOfAnArchive : public ::testing::TestWithParam<int> {};

// The archive is read and inflated ahead of the writing: what was read of the entries after the
// blocked one must not reach the disk before the answer (nor at all after Abort), and the skipped
// entry's data must not land in another entry's file.
TEST_P(PromptInTheMiddleOfAnArchive, EarlierEntriesAreWholeAndLaterOnesWaitForTheAnswer) {
    const int answer = GetParam();
    const std::string blocked = "deflated-65537.bin";  // two records of data, two large entries after it
    Sandbox box;
    ASSERT_TRUE(CreateFolderChain(box.destination.c_str()));
    const std::string target = box.destination + "\\" + blocked;
    kavtest::WriteFileBytes(target, "old content");
    kav::UniqueHandle holder(::CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    std::vector<std::pair<std::string, std::string>> expectedAtPrompt;
    bool afterBlocked = false;
    std::vector<std::pair<std::string, size_t>> later;
    for (const auto& [name, size] : EdgeEntries()) {
        if (name == blocked) {
            expectedAtPrompt.emplace_back(name, "");  // held without sharing: it cannot be read then
            afterBlocked = true;
        } else if (afterBlocked) {
            later.emplace_back(name, size);
        } else {
            expectedAtPrompt.emplace_back(name, EdgeBytes(size));
        }
    }
    ASSERT_EQ(later.size(), 2u);
    std::sort(expectedAtPrompt.begin(), expectedAtPrompt.end());

    g_promptDestination = box.destination;
    g_filesAtPrompt.clear();
    kavtest::ScopedPromptScript prompt({answer});
    prompt.Script().onPrompt = &RecordFilesAtPrompt;
    EXPECT_EQ(UnzipToFolder(Fixture("run-edges.zip").c_str(), box.destination.c_str()), answer == IDIGNORE);
    holder.Reset();

    ASSERT_EQ(prompt.Script().texts.size(), 1u);
    EXPECT_NE(prompt.Script().texts[0].find("\"" + blocked + "\""), std::string::npos);
    ASSERT_EQ(g_filesAtPrompt.size(), expectedAtPrompt.size());
    for (size_t i = 0; i < expectedAtPrompt.size(); ++i) {
        EXPECT_EQ(g_filesAtPrompt[i].first, expectedAtPrompt[i].first);
        EXPECT_TRUE(g_filesAtPrompt[i].second == expectedAtPrompt[i].second)
            << expectedAtPrompt[i].first << ": " << g_filesAtPrompt[i].second.size() << " bytes at the prompt";
    }
    EXPECT_EQ(ReadFileBytes(target), "old content");
    for (const auto& [name, size] : later) {
        if (answer == IDIGNORE) {
            EXPECT_EQ(ReadFileBytes(box.destination + "\\" + name), EdgeBytes(size)) << name;
        } else {
            EXPECT_FALSE(kavtest::PathExists(box.destination + "\\" + name)) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, PromptInTheMiddleOfAnArchive, ::testing::Values(IDIGNORE, IDABORT));

struct DamagedSkipCase {
    const char* archive;
    const char* blocked;  // the damaged entry, whose file is held open
    Tree extracted;       // the destination afterwards
};

class IgnoredDamagedEntry : public ::testing::TestWithParam<DamagedSkipCase> {};

// Data that fail to inflate or to match their CRC fail the extraction only when they were to be
// written: an entry the user skipped is skipped with its data, and the rest is extracted.
TEST_P(IgnoredDamagedEntry, DoesNotFailTheExtraction) {
    Sandbox box;
    ASSERT_TRUE(CreateFolderChain(box.destination.c_str()));
    const std::string target = box.destination + "\\" + GetParam().blocked;
    kavtest::WriteFileBytes(target, "old content");
    kav::UniqueHandle holder(::CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    kavtest::ScopedPromptScript prompt({IDIGNORE});
    EXPECT_TRUE(UnzipToFolder(Fixture(GetParam().archive).c_str(), box.destination.c_str()));
    holder.Reset();
    EXPECT_EQ(prompt.Script().texts.size(), 1u);
    EXPECT_EQ(ReadFileBytes(target), "old content");
    EXPECT_EQ(ListTree(box.destination), GetParam().extracted);
}

INSTANTIATE_TEST_SUITE_P(Table, IgnoredDamagedEntry,
                         ::testing::Values(DamagedSkipCase{"badcrc-stored.zip", "bad.txt", {"after.txt", "bad.txt", "ok.txt"}},
                                           DamagedSkipCase{"badcrc-deflated.zip", "bad.txt", {"after.txt", "bad.txt", "ok.txt"}},
                                           DamagedSkipCase{"method12.zip", "packed.bin", {"packed.bin"}}));

ULONGLONG Ticks(const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

TEST(Unzip, FilesCarryTheEntryTimeAsLocalTimeAndAFreshAccessTime) {
    Sandbox box;
    FILETIME before;
    ::GetSystemTimeAsFileTime(&before);
    ASSERT_TRUE(UnzipToFolder(Fixture("times.zip").c_str(), box.destination.c_str()));

    struct Expected { const char* file; SYSTEMTIME local; };
    const Expected rows[] = {{"t.txt", {2019, 3, 5, 15, 10, 20, 30, 0}},
                             {"winter.txt", {2011, 12, 6, 24, 23, 59, 58, 0}}};
    for (const Expected& row : rows) {
        FILETIME creation, access, write;
        ASSERT_TRUE(kavtest::ReadFileTimes(box.destination + "\\" + row.file, creation, access, write));
        FILETIME localExpected, utcExpected;
        ASSERT_TRUE(::SystemTimeToFileTime(&row.local, &localExpected));
        ASSERT_TRUE(::LocalFileTimeToFileTime(&localExpected, &utcExpected));
        // The run sets a time zone east of UTC, so that reading the entry time as UTC would show.
        ASSERT_NE(Ticks(utcExpected), Ticks(localExpected));
        EXPECT_EQ(Ticks(write), Ticks(utcExpected)) << row.file;
        EXPECT_EQ(Ticks(creation), Ticks(utcExpected)) << row.file;
        // Last access is the moment of writing, not the entry's time (file systems keep it coarse).
        EXPECT_GE(Ticks(access) + 20000000ULL, Ticks(before)) << row.file;
    }
}

TEST(TUnzipObject, OpenRefusesWhatIsNotAnArchive) {
    TUnzip unzip;
    EXPECT_FALSE(unzip.Open(nullptr));
    EXPECT_FALSE(unzip.Open(""));
    EXPECT_FALSE(unzip.Open(Fixture("package-src\\empty.dat").c_str()));
    EXPECT_FALSE(unzip.Open(Fixture("package-src\\config\\kavrindel.Default.pub").c_str()));
    EXPECT_FALSE(unzip.Open(("C:\\" + std::string(300, 'p') + ".zip").c_str()));
    EXPECT_FALSE(unzip.ExtractAll("C:\\never"));
    EXPECT_FALSE(unzip.ExtractCurrent("C:\\never"));
    EXPECT_FALSE(kavtest::PathExists("C:\\never"));
}

TEST(TUnzipObject, ExtractCurrentWithoutDestinationWritesBesideTheArchive) {
    kavtest::TempFolder folder("unzbeside");
    ASSERT_TRUE(::CopyFileA(Fixture("nofolders.zip").c_str(), (folder / "pkg.zip").c_str(), FALSE));
    TUnzip unzip;
    // A relative path is resolved against the current folder.
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(folder.Path().c_str()));
    const bool opened = unzip.Open("pkg.zip");
    ::SetCurrentDirectoryA(previous);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(unzip.ExtractCurrent(nullptr));
    EXPECT_EQ(ReadFileBytes(folder / "x\\y\\z.dat"), "deep\n");
}

TEST(TUnzipObject, AnEntryRecordThatCannotBeReadAgainFailsTheEntry) {
    Sandbox box;
    const std::string archive = box.root / "changing.zip";
    ASSERT_TRUE(::CopyFileA(Fixture("nofolders.zip").c_str(), archive.c_str(), FALSE));
    TUnzip unzip;
    ASSERT_TRUE(unzip.Open(archive.c_str()));  // positioned on the first entry, its record read once
    {
        // The archive changes on disk: the catalogue entry loses its signature.
        const std::string bytes = ReadFileBytes(archive);
        const size_t record = bytes.find("PK\x01\x02");
        ASSERT_NE(record, std::string::npos);
        const kav::UniqueHandle file(::CreateFileA(archive.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        ASSERT_NE(::SetFilePointer(file.Get(), static_cast<LONG>(record), nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.Get(), "XXXX", 4, &written, nullptr));
    }
    EXPECT_FALSE(unzip.ExtractCurrent(box.destination.c_str()));
    EXPECT_EQ(ListTree(box.destination), Tree{});
}

TEST(TUnzipObject, OpenAgainClosesTheEarlierArchive) {
    Sandbox box;
    TUnzip unzip;
    ASSERT_TRUE(unzip.Open(Fixture("nofolders.zip").c_str()));
    ASSERT_TRUE(unzip.ExtractAll(box.destination.c_str()));
    ASSERT_TRUE(unzip.Open(Fixture("tree.zip").c_str()));
    EXPECT_TRUE(unzip.ExtractAll(box.destination.c_str()));
    EXPECT_TRUE(kavtest::PathExists(box.destination + "\\a\\b.txt"));
    EXPECT_FALSE(unzip.Open(Fixture("missing.zip").c_str()));
    EXPECT_FALSE(unzip.ExtractAll(box.destination.c_str()));  // the failed Open left nothing open
    ASSERT_TRUE(unzip.Open(Fixture("tree.zip").c_str()));
    unzip.Close();
    EXPECT_FALSE(unzip.ExtractAll(box.destination.c_str()));
}

TEST(CreateFolderChainOnDisk, CreatesOnlyTheNamedFolders) {
    kavtest::TempFolder folder("chain");
    const std::string out = folder / "Out";
    EXPECT_TRUE(CreateFolderChain((out + "\\\\new\\").c_str()));
    EXPECT_EQ(ListTree(folder.Path()), (Tree{"Out\\", "Out\\new\\"}));
    EXPECT_TRUE(CreateFolderChain((out + "\\\\new\\").c_str()));  // existing folders are fine
    EXPECT_TRUE(CreateFolderChain((folder.Path() + "/Out/slash/deeper").c_str()));
    EXPECT_TRUE(kavtest::PathExists(out + "\\slash\\deeper"));
}

TEST(CreateFolderChainOnDisk, StopsAtAFolderThatCannotBeCreated) {
    kavtest::TempFolder folder("chainbad");
    kavtest::WriteFileBytes(folder / "file", "x");
    // A component with a character no Windows name may hold cannot be created.
    EXPECT_FALSE(CreateFolderChain((folder.Path() + "\\made\\bad|name\\never").c_str()));
    EXPECT_TRUE(kavtest::PathExists(folder / "made"));
    EXPECT_FALSE(kavtest::PathExists(folder / "made\\bad|name\\never"));
}

}  // namespace
