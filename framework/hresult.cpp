#include "framework/hresult.h"

#include <atomic>
#include <cstdio>
#include <exception>

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
  // Bounded: a very long expression is cut, never written past the buffer.
  wchar_t text[1024];
  std::swprintf(text, std::size(text), L"%hs(%d): %hs failed with 0x%08lX\n", file, line,
                expression, static_cast<unsigned long>(hr));
  g_traceSink.load()(text);
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
