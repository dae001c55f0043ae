#pragma once
// HRESULT helpers: early returns that evaluate their argument once, and the guard that keeps
// exceptions from crossing a COM method, window procedure or C callback.

#include <windows.h>

#include <new>

namespace tavrin {

// An unexpected COM failure inside code that reports errors by exception.
class ComError {
 public:
  explicit ComError(HRESULT hr) noexcept : m_hr(hr) {}
  HRESULT Result() const noexcept { return m_hr; }

 private:
  HRESULT m_hr;
};

// Maps the exception in flight to an HRESULT; call only inside a catch block.
inline HRESULT ResultFromCaughtException() noexcept {
  try {
    throw;
  } catch (const ComError& error) {
    return error.Result();
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

}  // namespace tavrin

#define RETURN_IF_FAILED(expr)               \
  do {                                       \
    const HRESULT tavrinHr_ = (expr);        \
    if (FAILED(tavrinHr_)) return tavrinHr_; \
  } while (0)

#define CATCH_RETURN()                            \
  catch (...) {                                   \
    return ::tavrin::ResultFromCaughtException(); \
  }
