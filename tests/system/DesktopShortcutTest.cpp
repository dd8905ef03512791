#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <thread>
#include <vector>

#include "RegistrationSupport.h"
#include "app/InstallSettings.h"
#include "system/DesktopShortcut.h"
#include "system/Folders.h"
#include "system/Handles.h"
#include "system/InteractiveUser.h"
#include "system/TextCodec.h"
#include "system/UninstallEntry.h"

namespace {

using Lines = std::vector<std::string>;

// A package code of its own, so that the uninstall entry's tests may run at the same time.
constexpr char kEntryPackageCode[] = "990001";
constexpr char kEntryPath[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kavrindel_990001v9.5";

std::wstring Gbk(const std::string& text) { return kav::WideFromNarrow(text.c_str(), kav::kGbkCodePage, 4096); }

std::string CommonDesktop() {
    std::string desktop;
    GetCommonDesktopPath(desktop);
    return desktop;
}

// What a saved shortcut holds, read back through the shell's own link object.
struct LinkContents {
    bool loaded = false;
    std::wstring target;
    std::wstring folder;
    std::wstring icon;
    int iconIndex = -1;
};

LinkContents ReadLink(const std::wstring& path) {
    LinkContents contents;
    const HRESULT initialized = ::CoInitialize(nullptr);
    {
        kav::ComPtr<IShellLinkW> link;
        kav::ComPtr<IPersistFile> file;
        if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(link.GetAddressOf()))) &&
            SUCCEEDED(link.As(&file)) && SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            wchar_t text[MAX_PATH * 4] = {};
            link->GetPath(text, static_cast<int>(std::size(text)), nullptr, SLGP_RAWPATH);
            contents.target = text;
            text[0] = 0;
            link->GetWorkingDirectory(text, static_cast<int>(std::size(text)));
            contents.folder = text;
            text[0] = 0;
            link->GetIconLocation(text, static_cast<int>(std::size(text)), &contents.iconIndex);
            contents.icon = text;
            contents.loaded = true;
        }
    }
    if (SUCCEEDED(initialized)) ::CoUninitialize();
    return contents;
}

// An installed product in a temporary folder and the shortcut's place on the all-users desktop,
// which is cleared before and after.
class DesktopShortcut : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = GetInstallSettings();
        InstallSettings& settings = GetInstallSettings();
        settings.packageCode = "201805";
        settings.productTitle = "Qerlix Trading System";
        settings.installDir = install_.Path() + "\\KAvrindel201805v9.5";
        ::CreateDirectoryA(settings.installDir.c_str(), nullptr);
        kavtest::WriteFileBytes(Program(), "MZ");
        linkPath_ = CommonDesktop() + "\\Qerlix Trading Systemv9.5.lnk";
        ::DeleteFileA(linkPath_.c_str());
    }
    void TearDown() override {
        ::DeleteFileA(linkPath_.c_str());
        GetInstallSettings() = saved_;
    }

    static std::string InstallDir() { return GetInstallSettings().installDir; }
    static std::string Program() { return InstallDir() + "\\kavrindel v9.5.exe"; }
    static std::string IconPath() { return InstallDir() + "\\Server\\config\\shortcut\\shortcut201805.ico"; }
    void AddIcon() {
        ASSERT_TRUE(MakeDirectoryPath(IconPath().c_str()));
        kavtest::WriteFileBytes(IconPath(), std::string("\0\0\1\0", 4));
    }
    Lines PathLines() const { return {linkPath_, Program(), InstallDir()}; }

    kavtest::TempFolder install_{"kavshortcut"};
    std::string linkPath_;

private:
    InstallSettings saved_;
};

Lines StatusLines(int coInitialize) {
    return {"CoInitialize : " + std::to_string(coInitialize), "CoCreateInstance : 0", "IShellLink::SetPath : 0",
            "IShellLink::SetWorkingDirectory : 0", "IShellLink::QueryInterface : 0", "IPersistFile::Save : 0"};
}

Lines Join(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class ShortcutIcon : public DesktopShortcut, public ::testing::WithParamInterface<bool> {};

TEST_P(ShortcutIcon, SavesTargetFolderAndTheIconOnlyWhenItsFileExists) {
    const bool iconExists = GetParam();
    if (iconExists) AddIcon();
    kavtest::CapturedLog log;
    EXPECT_TRUE(CreateDesktopShortcut());
    EXPECT_EQ(log.Lines(), Join(PathLines(), StatusLines(0)));

    const LinkContents link = ReadLink(Gbk(linkPath_));
    ASSERT_TRUE(link.loaded) << linkPath_;
    EXPECT_EQ(link.target, Gbk(Program()));
    EXPECT_EQ(link.folder, Gbk(InstallDir()));
    if (iconExists) {
        EXPECT_EQ(link.icon, Gbk(IconPath()));
        EXPECT_EQ(link.iconIndex, 0);
    } else {
        // No icon location: the shell shows the program's own icon.
        EXPECT_EQ(link.icon, L"");
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutIconFile, ShortcutIcon, ::testing::Bool());

TEST_F(DesktopShortcut, KeepsTheThreadsComInitialisation) {
    ASSERT_EQ(::CoInitialize(nullptr), S_OK);
    kavtest::CapturedLog log;
    EXPECT_TRUE(CreateDesktopShortcut());
    EXPECT_EQ(log.Lines(), Join(PathLines(), StatusLines(1)));
    // Still initialised: one more initialisation is counted, not a first one.
    EXPECT_EQ(::CoInitialize(nullptr), S_FALSE);
    ::CoUninitialize();
    ::CoUninitialize();
    EXPECT_TRUE(ReadLink(Gbk(linkPath_)).loaded);
}

TEST_F(DesktopShortcut, AThreadInAnotherApartmentGetsNoShortcutButTrue) {
    bool result = false;
    Lines lines;
    std::thread worker([&] {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        kavtest::CapturedLog log;
        result = CreateDesktopShortcut();
        lines = log.Lines();
        ::CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(lines, Join(PathLines(), {"CoInitialize : " + std::to_string(static_cast<int>(RPC_E_CHANGED_MODE))}));
    EXPECT_FALSE(kavtest::PathExists(linkPath_));
}

TEST_F(DesktopShortcut, AnEmptyInstallFolderGivesFalseAfterTheLinkPath) {
    GetInstallSettings().installDir.clear();
    kavtest::CapturedLog log;
    EXPECT_FALSE(CreateDesktopShortcut());
    EXPECT_EQ(log.Lines(), Lines{linkPath_});
    EXPECT_FALSE(kavtest::PathExists(linkPath_));
}

TEST_F(DesktopShortcut, ASecondRunReplacesTheShortcut) {
    ASSERT_TRUE(CreateDesktopShortcut());
    kavtest::TempFolder other("kavother");
    GetInstallSettings().installDir = other.Path();
    kavtest::WriteFileBytes(Program(), "MZ");
    ASSERT_TRUE(CreateDesktopShortcut());

    WIN32_FIND_DATAA entry;
    const HANDLE find = ::FindFirstFileA((CommonDesktop() + "\\Qerlix Trading System*").c_str(), &entry);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int files = 1;
    while (::FindNextFileA(find, &entry)) ++files;
    ::FindClose(find);
    EXPECT_EQ(files, 1);
    EXPECT_EQ(ReadLink(Gbk(linkPath_)).target, Gbk(other.Path() + "\\kavrindel v9.5.exe"));
}

TEST_F(DesktopShortcut, TheUninstallEntryNamesTheSavedShortcutFile) {
    // A title outside ASCII: both the file name and the value come from the same GBK text.
    GetInstallSettings().productTitle = "凯文交易";
    GetInstallSettings().packageCode = kEntryPackageCode;
    const std::wstring desktop = Gbk(CommonDesktop());
    const std::wstring expected = desktop + L"\\凯文交易v9.5.lnk";
    ::DeleteFileW(expected.c_str());
    kavtest::DeleteTree(HKEY_LOCAL_MACHINE, kEntryPath);

    ASSERT_EQ(RegisterUninstallEntry(), 0);
    ASSERT_TRUE(CreateDesktopShortcut());
    const std::wstring value = kavtest::ReadValue(HKEY_LOCAL_MACHINE, kEntryPath, L"Shortcut").text;

    // The one shortcut file on the desktop with that title, as the file system names it.
    WIN32_FIND_DATAW entry;
    const HANDLE find = ::FindFirstFileW((desktop + L"\\凯文交易*").c_str(), &entry);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ::FindClose(find);
    EXPECT_EQ(value, desktop + L"\\" + entry.cFileName);
    EXPECT_EQ(value, expected);
    EXPECT_TRUE(ReadLink(value).loaded);

    ::DeleteFileW(expected.c_str());
    kavtest::DeleteTree(HKEY_LOCAL_MACHINE, kEntryPath);
}

}  // namespace
