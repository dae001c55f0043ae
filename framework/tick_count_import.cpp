// The static winpthreads that std::mutex brings in imports GetTickCount64, which Windows XP lacks:
// a DLL importing it would not load there. This object defines the import's pointer itself, so
// the linker takes it instead of kernel32's, and it reaches GetTickCount64 where the system has it.
// It must be linked as an object (not from an archive) to come before the import library.

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace {

// GetTickCount wraps after 49.7 days; adding up the ticks between calls does not, as long as some
// call comes every 24 days. A reading older than the last one (another thread's) adds nothing.
std::atomic<std::uint64_t> g_nTicks{0};

ULONGLONG TicksSinceStart() noexcept {
  std::uint64_t seen = g_nTicks.load();
  for (;;) {
    const DWORD now = GetTickCount();
    const DWORD step = now - static_cast<DWORD>(seen);
    const std::uint64_t next = seen == 0 ? now : step < 0x80000000u ? seen + step : seen;
    if (g_nTicks.compare_exchange_weak(seen, next)) return next;
  }
}

// Looked up at every call, without a static's guard: that guard waits on winpthreads, which may
// ask for the time. The waits that ask cost far more than the look-up.
ULONGLONG WINAPI TickCount64() noexcept {
  using Function = ULONGLONG(WINAPI*)();
  const auto later = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  return later ? later() : TicksSinceStart();
}

}  // namespace

// The names the import library gives the pointer (stdcall-decorated on x86).
#ifdef _WIN64
extern "C" ULONGLONG(WINAPI* const tavrin_tick_count_import)() __asm__("__imp_GetTickCount64");
#else
extern "C" ULONGLONG(WINAPI* const tavrin_tick_count_import)() __asm__("__imp__GetTickCount64@0");
#endif
extern "C" ULONGLONG(WINAPI* const tavrin_tick_count_import)() = TickCount64;
