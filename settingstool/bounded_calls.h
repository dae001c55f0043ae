#pragma once
// A limit on how long this thread waits for another apartment to answer a COM call.

#include "framework/com_ptr.h"
#include "framework/unique_any.h"

#include <objidl.h>

#include <thread>

namespace tavrin {

// While it lives, an outgoing call from this single-threaded apartment that has gone unanswered
// (or been refused as busy) for the given time fails with RPC_E_CALL_CANCELED or
// RPC_E_CALL_REJECTED instead of waiting on. Calls into this apartment's own objects are direct
// and cannot be bounded.
class CBoundedCalls {
 public:
  explicit CBoundedCalls(DWORD timeoutMs) noexcept;
  CBoundedCalls(const CBoundedCalls&) = delete;
  CBoundedCalls& operator=(const CBoundedCalls&) = delete;
  ~CBoundedCalls();

 private:
  ComPtr<IMessageFilter> m_pFilter;
  ComPtr<IMessageFilter> m_pPrevious;
  // COM asks the filter only when new input wakes its wait, and a timer's message wakes it once:
  // this thread posts a message now and then until m_hStop is set.
  UniqueHandle m_hStop;
  std::thread m_waker;
};

// The call was given up by CBoundedCalls.
inline bool NotAnswered(HRESULT hr) noexcept {
  return hr == RPC_E_CALL_CANCELED || hr == RPC_E_CALL_REJECTED;
}

}  // namespace tavrin
