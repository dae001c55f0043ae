#include "settingstool/bounded_calls.h"

#include "framework/com_object.h"

namespace tavrin {
namespace {

constexpr DWORD kWakePeriodMs = 100;
constexpr DWORD kRetryAfterMs = 100;

class CTimeoutFilter : public IMessageFilter, public ComObjectRoot {
 public:
  explicit CTimeoutFilter(DWORD timeoutMs) noexcept : m_timeoutMs(timeoutMs) {}

  static std::span<const InterfaceEntry> Interfaces() noexcept {
    static const InterfaceEntry entries[] = {InterfaceOf<CTimeoutFilter, IMessageFilter>()};
    return entries;
  }

  STDMETHODIMP_(DWORD)
  HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) noexcept override {
    return SERVERCALL_ISHANDLED;
  }
  // A busy callee is asked again until the time is up.
  STDMETHODIMP_(DWORD)
  RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) noexcept override {
    if (rejectType == SERVERCALL_REJECTED || elapsedMs >= m_timeoutMs)
      return static_cast<DWORD>(-1);
    return kRetryAfterMs;
  }
  STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD elapsedMs, DWORD) noexcept override {
    return elapsedMs >= m_timeoutMs ? PENDINGMSG_CANCELCALL : PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  DWORD m_timeoutMs;
};

}  // namespace

CBoundedCalls::CBoundedCalls(DWORD timeoutMs) noexcept
    : m_pFilter(MakeComObject<CTimeoutFilter>(timeoutMs).get()) {
  if (!m_pFilter || FAILED(CoRegisterMessageFilter(m_pFilter.get(), m_pPrevious.put()))) {
    m_pFilter.reset();
    return;
  }
  m_hStop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!m_hStop) return;
  try {
    m_waker = std::thread([stop = m_hStop.get(), thread = GetCurrentThreadId()] {
      while (WaitForSingleObject(stop, kWakePeriodMs) == WAIT_TIMEOUT)
        PostThreadMessageW(thread, WM_NULL, 0, 0);
    });
  } catch (...) {
    // Without the thread the calls are not bounded, but they are still made.
  }
}

CBoundedCalls::~CBoundedCalls() {
  if (m_waker.joinable()) {
    SetEvent(m_hStop.get());
    m_waker.join();
  }
  if (!m_pFilter) return;
  ComPtr<IMessageFilter> ours;
  CoRegisterMessageFilter(m_pPrevious.get(), ours.put());
}

}  // namespace tavrin
