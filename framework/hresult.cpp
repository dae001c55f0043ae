#include "framework/hresult.h"

#include "framework/text.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>

namespace tavrin {
namespace {

void DebuggerSink(const wchar_t* line) noexcept {
  OutputDebugStringW(line);
}

std::atomic<TraceSink> g_traceSink{&DebuggerSink};

}  // namespace

TraceSink SetTraceSink(TraceSink sink) noexcept {
  return g_traceSink.exchange(sink ? sink : &DebuggerSink);
}

void TraceFailure(const char* file, int line, const char* expression, HRESULT hr) noexcept {
  try {
    wchar_t result[16];
    std::swprintf(result, std::size(result), L"0x%08lX", static_cast<unsigned long>(hr));
    const std::wstring text = Utf8ToWide(file) + L'(' + std::to_wstring(line) + L"): " +
                              Utf8ToWide(expression) + L" failed with " + result + L'\n';
    g_traceSink.load()(text.c_str());
  } catch (...) {
    // Out of memory while tracing: the failure itself is still returned.
  }
}

HRESULT TraceCaughtException(const char* file, int line) noexcept {
  const HRESULT hr = ResultFromCaughtException();
  try {
    throw;
  } catch (const std::exception& exception) {
    TraceFailure(file, line, exception.what(), hr);
  } catch (...) {
    TraceFailure(file, line, "unknown exception", hr);
  }
  return hr;
}

}  // namespace tavrin
