#pragma once
// Opening a hyperlink's target through the shell, with the browser registered for ".htm" as the
// fallback, and the message that tells the user why a target could not be opened.

#include <windows.h>

#include <optional>
#include <string>

namespace tavrin {

// The platform's code for the target: greater than 32 on success (ShellExecute's convention).
int OpenLink(const std::wstring& target, int showCommand);

// The ".htm" association's open command under classesRoot with its "%1" (quoted or not) replaced
// by a space and the target quoted as one argument; nullopt when the association cannot be read.
// No length limit.
std::optional<std::wstring> FallbackCommandLine(HKEY classesRoot, const std::wstring& target);

// The key's default value into text (empty when it cannot be read); the error of opening the key,
// ERROR_SUCCESS once it is open.
LONG ReadDefaultValue(HKEY root, const std::wstring& path, std::wstring& text);

using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);

// Tells the user why OpenLink failed with code; tests pass their own message box.
void ShowOpenError(HWND owner, int code, MessageBoxFunction messageBox = &MessageBoxW);

}  // namespace tavrin
