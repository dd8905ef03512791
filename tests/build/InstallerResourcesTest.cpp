// The resources of the built (and signed) installer, read the way the installer reads its own.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "resources/ResourceIds.h"
#include "system/Handles.h"
#include "ui/toolkit/ArtworkBitmap.h"

namespace {

std::string ReadString(HMODULE module, UINT id) {
    char buffer[260] = {};
    ::LoadStringA(module, id, buffer, sizeof buffer);
    return buffer;
}

std::string InstallerPath() { return kavtest::BinaryDir() + "\\KavrindelInstaller.exe"; }

kav::UniqueLibrary LoadInstallerResources() {
    return kav::UniqueLibrary(::LoadLibraryExA(InstallerPath().c_str(), nullptr,
                                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

}  // namespace

TEST(InstallerResources, StringTableHoldsTheProductIdentity) {
    const kav::UniqueLibrary library = LoadInstallerResources();
    ASSERT_TRUE(library) << InstallerPath();
    const HMODULE exe = library.Get();
    EXPECT_EQ(ReadString(exe, IDS_PACKAGE_CODE), "201805");
    EXPECT_EQ(ReadString(exe, IDS_TITLE_SIMPLIFIED), "Qerlix Trading System");
    EXPECT_EQ(ReadString(exe, IDS_TITLE_TRADITIONAL), "Qerlix Trading System");
    EXPECT_EQ(ReadString(exe, IDS_TITLE_ENGLISH), "Qerlix Trading System");
    EXPECT_EQ(ReadString(exe, IDS_FOLDER_NAME_STEM), "") << "string 107 must be absent";
}

// The pictures travel packed; the shipped file must hold both, whole, and the icon.
TEST(InstallerResources, HoldsTheBackgroundPicturesAndTheIcon) {
    const kav::UniqueLibrary library = LoadInstallerResources();
    ASSERT_TRUE(library) << InstallerPath();
    for (int id : {IDB_BACKGROUND_READY, IDB_BACKGROUND_INSTALL}) {
        const kav::UniqueBitmap picture = kav::LoadArtworkBitmap(library.Get(), id);
        ASSERT_TRUE(picture) << id;
        BITMAP info = {};
        ASSERT_NE(::GetObjectW(picture.Get(), sizeof info, &info), 0);
        EXPECT_EQ(info.bmWidth, 500) << id;
        EXPECT_EQ(info.bmHeight, 310) << id;
        EXPECT_EQ(info.bmBitsPixel, 24) << id;
    }
    EXPECT_NE(::FindResourceW(library.Get(), MAKEINTRESOURCEW(IDI_INSTALLER), RT_GROUP_ICON), nullptr);
}
