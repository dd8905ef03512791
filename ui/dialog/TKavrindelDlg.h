#pragma once
// The installer's only window: a borderless, always-on-top window of 500 by 310 pixels drawn over
// one of two background pictures. The dialog object is also the cloud client (its IClient part).
#include <windows.h>

#include <memory>
#include <string>

#include "cloud/IClient.h"
#include "system/Handles.h"
#include "ui/dialog/DialogState.h"
#include "ui/dialog/InstallEngine.h"
#include "ui/dialog/KeyAction.h"
#include "ui/toolkit/TModalWnd.h"
#include "ui/toolkit/TProcess.h"

class TKavrindelDlg : public TModalWnd, public IClient {
public:
    TKavrindelDlg() = default;
    ~TKavrindelDlg() = default;

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Window text, progress control, MainWindowHandle, icon: what the window itself needs.
    void CreateControls() override;
    // What only an install needs: the install folders (from the console user's folders) and the
    // cloud client (account, storage library with WinHTTP and CNG, client). The entry point calls
    // it once the first frame is on the screen and before the loop handles any input, so that the
    // window appears without waiting for it and nothing can start an install before it is done.
    void PrepareInstall();
    void PlaceWindow() override;
    void DrawContent(TMemDC& dc) override;
    // Waits 500 ms, ends the modal loop and destroys the window.
    void Close() override;

    // The left-button press: main button, Browse, Custom link, else a drag of the window.
    void OnLButtonDown(WPARAM wParam, LPARAM lParam);
    // The folder choice of the custom-path panel.
    void BrowseFolder();
    // The start of an install from the welcome page.
    void StartInstall();
    // Whether the install worker that StartInstall started is still running.
    bool IsWorkerRunning() const;

    // The rectangles from the client size; on WM_SIZE.
    void UpdateLayout();
    // The dialog's whole drawing for one WM_PAINT (replaces the base painting).
    void Paint();
    // The content of the Ready and Finished pages.
    void DrawReadyContent(TMemDC& dc);

    std::unique_ptr<TProcess> progress;  // created by CreateControls
    std::wstring statusText;
    RECT statusRect = {};
    RECT buttonRect = {};
    RECT titleRect = {};
    RECT bannerRect = {};
    RECT customRect = {};
    RECT browseRect = {};
    DialogState state = Ready;
    bool buttonHovered = false;
    bool browseHovered = false;
    bool customPanelHidden = true;
    kav::InstallEngine engine;  // the entry point gives the real one

private:
    void OnLButtonUp();
    // Enter and Escape: the main button's and the close box's actions, on the key's release.
    void OnKeyUp(UINT virtualKey);
    // The main button on the finished page ("Open"): hide, record the DPI, start the program, close.
    void OpenInstalledProgram();
    // The close box where it acts: hide, record the DPI on the finished page, close.
    void CloseFromCloseBox();
    void OnWorkerMessage(UINT message, LPARAM lParam);
    void ShowFailure(std::int32_t step);

    kav::UniqueHandle workerThread;
    kav::KeyGesture keyGesture;
    void DrawProgressContent(HDC dc);
};

namespace kav {

constexpr wchar_t kDialogClassName[] = L"TModalWnd";
constexpr DWORD kDialogStyle = WS_POPUP | WS_CLIPCHILDREN;  // 0x82000000
constexpr DWORD kDialogExStyle = WS_EX_TOPMOST;
constexpr wchar_t kDialogWindowText[] = L"Kavrindel";

constexpr COLORREF kLightText = 0xE7E7E7;         // RGB(231, 231, 231)
constexpr COLORREF kButtonFill = 0x1015A5;        // RGB(165, 21, 16)
constexpr COLORREF kButtonHoverFill = 0x070D7D;   // RGB(125, 13, 7)
constexpr COLORREF kButtonOutline = 0x4140D9;     // RGB(217, 64, 65)
constexpr COLORREF kCustomLinkColour = 0xADA8A8;  // RGB(168, 168, 173)
constexpr COLORREF kStatusTextColour = 0x000000;
constexpr COLORREF kBannerTextColour = 0xFFFFFF;

// The background picture of a page: 101 for Ready and Finished, 104 for Installing and Failed.
int BackgroundPictureFor(DialogState state);

}  // namespace kav
