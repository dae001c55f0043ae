#pragma once
// HRESULT helpers: early returns that evaluate their argument once, and the guard that keeps
// exceptions from crossing a COM method, window procedure or C callback. In debug builds
// (TAVRIN_TRACE) every failure they pass on is traced with its place; release builds stay silent.

#include <windows.h>

#include <new>
#include <type_traits>

namespace tavrin {

// Maps the exception in flight to an HRESULT; call only inside a catch block.
inline HRESULT ResultFromCaughtException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The thread's last error as a failure: some calls fail without setting one, and
// HRESULT_FROM_WIN32(0) would read as success.
inline HRESULT LastErrorResult() noexcept {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// Receives each trace line; the default sends it to the debugger (OutputDebugStringW).
using TraceSink = void (*)(const wchar_t* line) noexcept;
// Returns the sink it replaces; null restores the default.
TraceSink SetTraceSink(TraceSink sink) noexcept;
// "file(line): expression failed with 0x8007000E".
void TraceFailure(const char* file, int line, const char* expression, HRESULT hr) noexcept;
// Traces the exception in flight (its message as the expression) and returns its HRESULT.
HRESULT TraceCaughtException(const char* file, int line) noexcept;

}  // namespace tavrin

#ifdef TAVRIN_TRACE
#define TAVRIN_TRACE_FAILURE(expression, hr) \
  ::tavrin::TraceFailure(__FILE__, __LINE__, expression, hr)
#define LOG_CAUGHT_EXCEPTION() ::tavrin::TraceCaughtException(__FILE__, __LINE__)
#else
#define TAVRIN_TRACE_FAILURE(expression, hr) static_cast<void>(0)
#define LOG_CAUGHT_EXCEPTION() ::tavrin::ResultFromCaughtException()
#endif

// The failure path the macros below share.
#define TAVRIN_RETURN_FAILURE(expression, hr)         \
  do {                                                \
    const HRESULT tavrinFailure_ = (hr);              \
    TAVRIN_TRACE_FAILURE(expression, tavrinFailure_); \
    return tavrinFailure_;                            \
  } while (0)

// Takes an HRESULT only: a BOOL's FALSE would pass as success. The Win32 forms follow.
#define RETURN_IF_FAILED(expr)                                                       \
  do {                                                                               \
    const auto tavrinHr_ = (expr);                                                   \
    static_assert(std::is_same_v<decltype(tavrinHr_), const HRESULT>,                \
                  "RETURN_IF_FAILED takes an HRESULT; use RETURN_IF_WIN32_ERROR or " \
                  "RETURN_IF_WIN32_BOOL_FALSE");                                     \
    if (FAILED(tavrinHr_)) TAVRIN_RETURN_FAILURE(#expr, tavrinHr_);                  \
  } while (0)

// A Win32 error code, such as a registry LSTATUS: anything but ERROR_SUCCESS fails.
#define RETURN_IF_WIN32_ERROR(expr)                                   \
  do {                                                                \
    const LSTATUS tavrinError_ = (expr);                              \
    if (tavrinError_ != ERROR_SUCCESS)                                \
      TAVRIN_RETURN_FAILURE(#expr, HRESULT_FROM_WIN32(tavrinError_)); \
  } while (0)

// A BOOL (or bool) result: false fails with the thread's last error.
#define RETURN_IF_WIN32_BOOL_FALSE(expr)                                       \
  do {                                                                         \
    const auto tavrinOk_ = (expr);                                             \
    static_assert(std::is_same_v<decltype(tavrinOk_), const BOOL> ||           \
                      std::is_same_v<decltype(tavrinOk_), const bool>,         \
                  "RETURN_IF_WIN32_BOOL_FALSE takes a BOOL");                  \
    if (!tavrinOk_) TAVRIN_RETURN_FAILURE(#expr, ::tavrin::LastErrorResult()); \
  } while (0)

#define CATCH_RETURN()             \
  catch (...) {                    \
    return LOG_CAUGHT_EXCEPTION(); \
  }
