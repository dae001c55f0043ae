#include "framework/module.h"

// Provided by the linker: the base address of the image that holds this code.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tavrin {
namespace {
// Interlocked: DllCanUnloadNow may be asked from any thread.
volatile LONG g_lockCount = 0;
}  // namespace

HMODULE ModuleInstance() noexcept {
  return reinterpret_cast<HMODULE>(&__ImageBase);
}

std::wstring ModuleFileName() {
  // No fixed limit: a truncated path would register a server that does not exist.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(ModuleInstance(), path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ModuleLock() noexcept {
  InterlockedIncrement(&g_lockCount);
}
void ModuleUnlock() noexcept {
  InterlockedDecrement(&g_lockCount);
}
LONG ModuleLockCount() noexcept {
  return InterlockedCompareExchange(&g_lockCount, 0, 0);
}

}  // namespace tavrin
