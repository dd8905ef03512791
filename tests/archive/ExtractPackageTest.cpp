#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ArchiveTestSupport.h"
#include "TestSupport.h"
#include "cloud/IClient.h"
#include "engine/WorkerMessages.h"

namespace {

// A hidden window that stands in for the dialog; the progress messages posted to it are read
// back from this thread's queue.
class MessageRecorder {
public:
    MessageRecorder() {
        window_ = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        previous_ = MainWindowHandle;
        MainWindowHandle = window_;
    }
    ~MessageRecorder() {
        MainWindowHandle = previous_;
        ::DestroyWindow(window_);
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    bool Valid() const { return window_ != nullptr && !::IsWindowVisible(window_); }

    // The lParam of every install message posted since the last call.
    std::vector<std::pair<UINT, LPARAM>> Take() {
        std::vector<std::pair<UINT, LPARAM>> messages;
        MSG msg;
        while (::PeekMessageW(&msg, window_, WM_USER, WM_USER + 200, PM_REMOVE)) messages.emplace_back(msg.message, msg.lParam);
        return messages;
    }

private:
    HWND window_ = nullptr;
    HWND previous_ = nullptr;
};

using Posted = std::vector<std::pair<UINT, LPARAM>>;

TEST(ExtractPackage, EachPackageAddsItsShareAndOnlySuccessPostsIt) {
    MessageRecorder recorder;
    ASSERT_TRUE(recorder.Valid());
    kavtest::TempFolder folder("extpkg");
    IClient client;
    client.downloadsExpected = 3;
    client.progressPercent = 50;

    EXPECT_TRUE(client.ExtractPackage(kavtest::Fixture("tree.zip").c_str(), (folder / "one").c_str()));
    EXPECT_EQ(client.progressPercent, 53);
    EXPECT_EQ(recorder.Take(), (Posted{{WM_INSTALL_PROGRESS, 53}}));
    EXPECT_TRUE(kavtest::PathExists(folder / "one\\a\\b.txt"));

    EXPECT_TRUE(client.ExtractPackage(kavtest::Fixture("nofolders.zip").c_str(), (folder / "two").c_str()));
    EXPECT_EQ(client.progressPercent, 56);
    EXPECT_EQ(recorder.Take(), (Posted{{WM_INSTALL_PROGRESS, 56}}));

    // A failed extraction stores the raised value but posts nothing.
    EXPECT_FALSE(client.ExtractPackage(kavtest::Fixture("empty.zip").c_str(), (folder / "three").c_str()));
    EXPECT_EQ(client.progressPercent, 59);
    EXPECT_EQ(recorder.Take(), Posted{});
    EXPECT_FALSE(client.ExtractPackage(kavtest::Fixture("badcrc-deflated.zip").c_str(), (folder / "four").c_str()));
    EXPECT_EQ(client.progressPercent, 62);
    EXPECT_EQ(recorder.Take(), Posted{});

    // A package that is not there counts as extracted: nothing written, no progress.
    EXPECT_TRUE(client.ExtractPackage((folder / "absent.zip").c_str(), (folder / "five").c_str()));
    EXPECT_EQ(client.progressPercent, 62);
    EXPECT_EQ(recorder.Take(), Posted{});
    EXPECT_FALSE(kavtest::PathExists(folder / "five"));
}

TEST(ExtractPackage, AFileThatIsNotAnArchiveFailsTheStep) {
    MessageRecorder recorder;
    kavtest::TempFolder folder("extpkgbad");
    kavtest::WriteFileBytes(folder / "base.zip", "this is not a zip archive");
    IClient client;
    client.downloadsExpected = 5;
    client.progressPercent = 64;
    EXPECT_FALSE(client.ExtractPackage((folder / "base.zip").c_str(), (folder / "out").c_str()));
    EXPECT_EQ(client.progressPercent, 66);
    EXPECT_EQ(recorder.Take(), Posted{});
}

}  // namespace
