#pragma once
// A limit on how long this thread waits for another apartment to answer a COM call.

#include "framework/com_ptr.h"

#include <objidl.h>

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
  // Messages wake the wait so that the filter is asked while nothing else arrives.
  UINT_PTR m_nTimer = 0;
};

// The call was given up by CBoundedCalls.
inline bool NotAnswered(HRESULT hr) noexcept {
  return hr == RPC_E_CALL_CANCELED || hr == RPC_E_CALL_REJECTED;
}

}  // namespace tavrin
