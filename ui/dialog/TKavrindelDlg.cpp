#include "ui/dialog/TKavrindelDlg.h"

#include <cwchar>

#include "app/InstallSettings.h"
#include "app/LocalizedTexts.h"
#include "cloud/ClientConfiguration.h"
#include "cloud/OssClient.h"
#include "cloud/OssSdk.h"
#include "engine/WorkerMessages.h"
#include "resources/ResourceIds.h"
#include "system/TextCodec.h"
#include "ui/dialog/DialogLayout.h"
#include "ui/dialog/WindowPlacement.h"
#include "ui/toolkit/ArtworkBitmap.h"
#include "ui/toolkit/SharedDrawing.h"

namespace {

constexpr size_t kTitleUnits = 1024;
constexpr size_t kPercentUnits = 260;
constexpr int kButtonCorner = 5;
constexpr int kBrowseCorner = 2;
constexpr int kInstallTextRow = 0;
constexpr int kOpenTextRow = 7;
constexpr int kInstallingBannerRow = 10;

constexpr UINT kTitleFormat = DT_CENTER | DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX;
constexpr UINT kCentredLine = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
constexpr UINT kLeftLine = DT_VCENTER | DT_SINGLELINE;
constexpr UINT kPathTextFormat = DT_END_ELLIPSIS | DT_VCENTER | DT_SINGLELINE;
constexpr UINT kPercentFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
// Without DT_SINGLELINE the bottom flag has no effect: the failure text stands right-aligned at
// the top of the status rectangle.
constexpr UINT kFailureFormat = DT_RIGHT | DT_BOTTOM;

void DrawWide(HDC dc, const wchar_t* text, RECT rect, UINT format) { ::DrawTextW(dc, text, -1, &rect, format); }

}  // namespace

namespace kav {

int BackgroundPictureFor(DialogState state) {
    return (state == Installing || state == Failed) ? IDB_BACKGROUND_INSTALL : IDB_BACKGROUND_READY;
}

}  // namespace kav

LRESULT TKavrindelDlg::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            UpdateCaptionRect();
            UpdateLayout();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_MOUSEMOVE: {
            buttonHovered = false;
            browseHovered = false;
            kav::TrackMouseLeave(hwnd);
            const POINT pointer = kav::PointerInClient(hwnd);
            if (::PtInRect(&buttonRect, pointer)) buttonHovered = true;
            if (::PtInRect(&browseRect, pointer)) browseHovered = true;
            closeHovered = ::PtInRect(&closeRect, pointer) != FALSE;
            kav::Repaint(hwnd);
            return 0;
        }
        case WM_LBUTTONDOWN:
            OnLButtonDown(wParam, lParam);
            return 0;
        case WM_LBUTTONUP:
            OnLButtonUp();
            return 0;
        case WM_KEYDOWN:
            keyGesture.Press(static_cast<UINT>(wParam), lParam, state);
            return 0;
        case WM_KEYUP:
            OnKeyUp(static_cast<UINT>(wParam));
            return 0;
        case WM_KILLFOCUS:
            keyGesture.Forget();
            return TModalWnd::WndProc(message, wParam, lParam);
        case WM_INSTALL_PROGRESS:
        case WM_INSTALL_DONE:
        case WM_INSTALL_FAILED:
        case WM_INSTALL_STEP:
            OnWorkerMessage(message, lParam);
            return 0;
        case WM_MOUSELEAVE:
            // The close box keeps its hover state until the next move.
            buttonHovered = false;
            browseHovered = false;
            kav::Repaint(hwnd);
            return 0;
        default:
            return TModalWnd::WndProc(message, wParam, lParam);
    }
}

void TKavrindelDlg::CreateControls() {
    ::SetWindowTextW(hwnd, kav::kDialogWindowText);

    progress = std::make_unique<TProcess>();
    progress->Create(kav::kProgressClassName, hwnd, kav::kProgressStyle, 0);

    MainWindowHandle = hwnd;

    const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_INSTALLER));
    ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void TKavrindelDlg::PrepareInstall() {
    DeriveInstallPaths();

    // The client part: account, storage library, and the one storage client, which stays until the
    // process ends (a worker may still use it while the program exits).
    InitCloudAccount();
    kav::oss::InitializeSdk();
    ossClient = new kav::oss::OssClient(endpoint, accessKeyId, accessKeySecret, kav::oss::ClientConfiguration());
}

void TKavrindelDlg::PlaceWindow() {
    POINT pointer = {};
    ::GetCursorPos(&pointer);
    const POINT origin =
        kav::DialogPosition(pointer, kav::CurrentDisplayModes(), ::GetSystemMetrics(SM_CYSCREEN));
    ::MoveWindow(hwnd, origin.x, origin.y, kav::kDialogWidth, kav::kDialogHeight, TRUE);
}

void TKavrindelDlg::UpdateLayout() {
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    const kav::DialogLayout layout = kav::ComputeDialogLayout(client.right, client.bottom);
    buttonRect = layout.buttonRect;
    titleRect = layout.titleRect;
    customRect = layout.customRect;
    browseRect = layout.browseRect;
    statusRect = layout.statusRect;
    bannerRect = layout.bannerRect;
}

void TKavrindelDlg::Paint() {
    TMemDC dc(hwnd);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    ::SetBkMode(dc.memDC, TRANSPARENT);

    // As the base painting does; the background picture then covers it all.
    FillFrameAndCaption(dc.memDC, client);

    // Loaded for every paint and deleted after it: nothing is cached.
    {
        kav::UniqueBitmap picture(
            kav::LoadArtworkBitmap(::GetModuleHandleW(nullptr), kav::BackgroundPictureFor(state)));
        kav::UniqueMemoryDc pictureDc(::CreateCompatibleDC(dc.memDC));
        if (picture && pictureDc) {
            kav::ScopedSelectObject selectPicture(pictureDc.Get(), picture.Get());
            ::BitBlt(dc.memDC, 0, 0, client.right, client.bottom, pictureDc.Get(), 0, 0, SRCCOPY);
        }
    }

    if (state != Installing) {
        // The reverse of the base painting's colours: light at rest, grey under the pointer.
        closeRect = kav::DrawCloseCross(dc.memDC, kav::DialogCloseCrossRect(client.right, closeCellSize),
                                        closeHovered ? kav::kCloseCrossGrey : kav::kCloseCrossLight);
    }

    kav::ScopedSelectObject keepFont(dc.memDC, ::GetCurrentObject(dc.memDC, OBJ_FONT));
    if (state == Ready || state == Finished) {
        ::SelectObject(dc.memDC, Font27);
        ::SetTextColor(dc.memDC, kav::kLightText);
        if (customPanelHidden || state == Finished) {
            const std::wstring packageTitle =
                kav::WideFromNarrow(GetInstallSettings().packageCode.c_str(), kav::kGbkCodePage, kTitleUnits);
            DrawWide(dc.memDC, packageTitle.c_str(), titleRect, kTitleFormat);
        }
    }

    DrawContent(dc);
}

void TKavrindelDlg::DrawContent(TMemDC& dc) {
    if (state == Ready || state == Finished) {
        DrawReadyContent(dc);
        return;
    }
    ::SelectObject(dc.memDC, Font20);
    ::SetTextColor(dc.memDC, kav::kStatusTextColour);
    if (state == Failed) {
        DrawWide(dc.memDC, statusText.c_str(), statusRect, kFailureFormat);
    } else if (state == Installing) {
        DrawProgressContent(dc.memDC);
    }
}

void TKavrindelDlg::DrawProgressContent(HDC dc) {
    const int position = progress ? progress->position : 0;
    wchar_t percent[kPercentUnits] = {};
    std::swprintf(percent, kPercentUnits, L"%d%%", static_cast<int>(static_cast<double>(position) / 100.0 * 100.0));
    DrawWide(dc, percent, statusRect, kPercentFormat);
    DrawWide(dc, statusText.c_str(), statusRect, kLeftLine);

    ::SelectObject(dc, Font27);
    ::SetTextColor(dc, kav::kBannerTextColour);
    DrawWide(dc, DialogText(kInstallingBannerRow), bannerRect, kLeftLine);
}

void TKavrindelDlg::DrawReadyContent(TMemDC& dc) {
    const HDC memDC = dc.memDC;
    kav::UniquePen outline(::CreatePen(PS_SOLID, 1, kav::kButtonOutline));
    kav::UniqueBrush fill(::CreateSolidBrush(kav::kButtonFill));
    kav::UniqueBrush hoverFill(::CreateSolidBrush(kav::kButtonHoverFill));
    kav::ScopedSelectObject keepPen(memDC, outline.Get());
    kav::ScopedSelectObject keepBrush(memDC, fill.Get());

    if (!customPanelHidden && state == Ready) {
        ::SelectObject(memDC, Font18);
        DrawWide(memDC, PathLabelText.Current(), kav::kPathLabelRect, kLeftLine);

        const RECT box = kav::kPathBoxRect;
        ::RoundRect(memDC, box.left, box.top, box.right, box.bottom, kButtonCorner, kButtonCorner);
        const std::string& installDir = GetInstallSettings().installDir;
        RECT pathText = kav::kPathTextRect;
        ::DrawTextA(memDC, installDir.c_str(), static_cast<int>(installDir.size()), &pathText, kPathTextFormat);

        if (browseHovered) ::SelectObject(memDC, hoverFill.Get());
        ::RoundRect(memDC, browseRect.left, browseRect.top, browseRect.right, browseRect.bottom, kBrowseCorner,
                    kBrowseCorner);
        DrawWide(memDC, BrowseButtonText.Current(), browseRect, kCentredLine);
    }

    ::SelectObject(memDC, buttonHovered ? hoverFill.Get() : fill.Get());
    ::RoundRect(memDC, buttonRect.left, buttonRect.top, buttonRect.right, buttonRect.bottom, kButtonCorner,
                kButtonCorner);
    ::SelectObject(memDC, Font22);
    ::SetTextColor(memDC, kav::kLightText);
    RECT labelRect = buttonRect;
    if (!buttonHovered) ::OffsetRect(&labelRect, 0, -1);  // the label sinks by one pixel under the pointer
    DrawWide(memDC, DialogText(state == Finished ? kOpenTextRow : kInstallTextRow), labelRect, kCentredLine);

    if (state == Ready) {
        ::SelectObject(memDC, Font18);
        ::SetTextColor(memDC, kav::kCustomLinkColour);
        DrawWide(memDC, CustomInstallText.Current(), customRect, kCentredLine);
    }
}
