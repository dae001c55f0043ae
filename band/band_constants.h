#pragma once
// Constants of the band object.

#include <windows.h>

namespace tavrin {

// The bar's title in the browser.
inline constexpr wchar_t kBandTitle[] = L"タブリン";
// The browser's title field is larger; the band never writes more than this, terminator included.
inline constexpr size_t kBandTitleCapacity = 128;

inline constexpr POINTL kMinSizeVertical{100, 102};
inline constexpr POINTL kMinSizeOther{100, 100};

}  // namespace tavrin
