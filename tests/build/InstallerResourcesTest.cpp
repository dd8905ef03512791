// The string table of the built installer, read the way the installer reads its own.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "resources/ResourceIds.h"

namespace {

std::string ReadString(HMODULE module, UINT id) {
    char buffer[260] = {};
    ::LoadStringA(module, id, buffer, sizeof buffer);
    return buffer;
}

}  // namespace

TEST(InstallerResources, StringTableHoldsTheProductIdentity) {
    const std::string path = kavtest::BinaryDir() + "\\KavrindelInstaller.exe";
    HMODULE exe = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << path;
    EXPECT_EQ(ReadString(exe, IDS_PACKAGE_CODE), "201805");
    EXPECT_EQ(ReadString(exe, IDS_TITLE_SIMPLIFIED), "Qerlix Trading System");
    EXPECT_EQ(ReadString(exe, IDS_TITLE_TRADITIONAL), "Qerlix Trading System");
    EXPECT_EQ(ReadString(exe, IDS_TITLE_ENGLISH), "Qerlix Trading System");
    EXPECT_EQ(ReadString(exe, IDS_FOLDER_NAME_STEM), "") << "string 107 must be absent";
    ::FreeLibrary(exe);
}
