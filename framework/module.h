#pragma once
// The module this code is linked into, and its lock count behind DllCanUnloadNow.

#include <windows.h>

#include <string>

namespace tavrin {

HMODULE ModuleInstance() noexcept;
// Empty when the system cannot tell.
std::wstring ModuleFileName();

void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
// Live objects, outstanding class-object references and LockServer(TRUE) calls.
LONG ModuleLockCount() noexcept;

}  // namespace tavrin
