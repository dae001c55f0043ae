#pragma once
// Identifiers of the browser container.

#include <windows.h>

namespace tavrin {

// The hosted control's window, the first pane id of the classic frameworks.
inline constexpr UINT kBrowserPaneId = 0xE900;

// The container's own dispatch interface, which window.external and the document-event sink answer.
inline constexpr IID kContainerDispatchIid = {
    0x6F2C9D13, 0x8B3A, 0x4E57, {0xA1, 0xC0, 0x3D, 0x9E, 0x5B, 0x7F, 0x2A, 0x61}};

// Dispatch ids of the script surface, in the order pages see it.
inline constexpr DISPID kDispidAllowContextMenu = 1;
inline constexpr DISPID kDispidCmdExecute = 2;
inline constexpr DISPID kDispidCmdEvent = 3;
inline constexpr DISPID kDispidCmdNavigate = 4;

}  // namespace tavrin
