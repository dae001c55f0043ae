#pragma once
// Constants of the band object and the band window.

#include <windows.h>

namespace tavrin {

// The bar's title in the browser.
inline constexpr wchar_t kBandTitle[] = L"タブリン";
// The browser's title field is larger; the band never writes more than this, terminator included.
inline constexpr size_t kBandTitleCapacity = 128;

inline constexpr POINTL kMinSizeVertical{100, 102};
inline constexpr POINTL kMinSizeOther{100, 100};

// The band object window, inside the site's window.
inline constexpr wchar_t kBandObjectClass[] = L"TavrinBandsObject";
inline constexpr wchar_t kBandObjectText[] = L"Tool Bands";
inline constexpr UINT kBandObjectWindowId = 360;

// The band window and its children.
inline constexpr wchar_t kBandWindowClass[] = L"TavrinBandWindow";
inline constexpr UINT kBandWindowId = 201;
inline constexpr UINT kViewId = 100;
inline constexpr UINT kToolbarId = 151;
inline constexpr UINT kRebarId = 152;

// Toolbar commands, in button order.
inline constexpr UINT kAutoSyncCommand = 100;
inline constexpr UINT kRefreshCommand = 101;
inline constexpr UINT kSettingsCommand = 102;
inline constexpr UINT kVersionCommand = 103;

// Images of bitmap 205.
inline constexpr int kAutoSyncImage = 0;
inline constexpr int kRefreshImage = 1;
inline constexpr int kStaleRefreshImage = 2;
inline constexpr int kSettingsImage = 3;
inline constexpr int kVersionImage = 4;
inline constexpr int kImageWidth = 16;
inline constexpr COLORREF kImageMask = RGB(0xFF, 0x00, 0xFF);

// Layout: the rebar's height, and the view's top below the one-pixel grey line.
inline constexpr int kRebarHeight = 25;
inline constexpr int kViewTop = 26;
inline constexpr COLORREF kLineColour = RGB(0x80, 0x80, 0x80);

// The page wait polls the main browser on the band object window.
inline constexpr UINT_PTR kPageWaitTimerId = 1;
inline constexpr UINT kPageWaitPeriod = 2000;

}  // namespace tavrin
