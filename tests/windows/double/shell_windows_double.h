#pragma once
// The doubles of the shell's window collection (CLSID_ShellWindows) and of the browser's
// automation object ("InternetExplorer.Application"), in shell-windows-double.dll. The tests
// choose the windows through the registry and read back what the code under test did, so the
// doubles work in the test's process and in the settings tool's alike.

#include <windows.h>

namespace tavrin::test_double {

// Under HKEY_CURRENT_USER.
inline constexpr wchar_t kShellDoubleKey[] = L"Software\\Tavrin tests\\Shell windows";
// REG_SZ, the collection's windows in order, separated by commas:
//   page      a browser showing an HTML page
//   loading   the same, its page still loading until it is stopped
//   folder    a shell folder window: its document is not an HTML document
//   null      an empty item
//   docfail   a browser whose document call fails
//   late      a browser without a document at first, with one from the second question on
//   other     an item that is not a browser
inline constexpr wchar_t kShellWindowsValue[] = L"Windows";
// REG_SZ, one line per call made on the doubles, in order: "hide N", "stop N", "quit N" (N the
// window's place in kShellWindowsValue), "bar VT:VALUE VT:VALUE VT:VALUE" for ShowBrowserBar's
// arguments and "quit application after MS" for the automation object.
inline constexpr wchar_t kJournalValue[] = L"Journal";
// The automation object's class; "InternetExplorer.Application" names it while a test runs.
inline constexpr CLSID kBrowserApplicationDoubleClsid = {
    0x6d2b1c7e, 0x4f0a, 0x4b8e, {0x9a, 0x31, 0x52, 0x0c, 0x7e, 0x44, 0xd1, 0x93}};

}  // namespace tavrin::test_double
