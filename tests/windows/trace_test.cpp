// The failure trace of debug builds: this file is compiled with TAVRIN_TRACE.
#include "framework/hresult.h"
#include "framework/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tavrin;

namespace {

std::vector<std::wstring> g_lines;

void Capture(const wchar_t* line) noexcept {
  g_lines.emplace_back(line);
}

HRESULT Returned(HRESULT hr) noexcept {
  return hr;
}

LSTATUS Status(LSTATUS status) noexcept {
  return status;
}

BOOL FailedWith(DWORD error) noexcept {
  SetLastError(error);
  return FALSE;
}

constexpr int kFailedLine = __LINE__ + 2;
HRESULT FailedCall() noexcept {
  RETURN_IF_FAILED(Returned(E_ACCESSDENIED));
  return S_OK;
}

HRESULT SucceededCalls() noexcept {
  RETURN_IF_FAILED(Returned(S_FALSE));
  RETURN_IF_WIN32_ERROR(Status(ERROR_SUCCESS));
  RETURN_IF_WIN32_BOOL_FALSE(FailedWith(ERROR_SUCCESS) == FALSE);
  return S_OK;
}

// A positive error code would pass RETURN_IF_FAILED as success.
constexpr int kWin32ErrorLine = __LINE__ + 2;
HRESULT Win32Error() noexcept {
  RETURN_IF_WIN32_ERROR(Status(ERROR_FILE_NOT_FOUND));
  return S_OK;
}

constexpr int kBoolFalseLine = __LINE__ + 2;
HRESULT BoolFalse() noexcept {
  RETURN_IF_WIN32_BOOL_FALSE(FailedWith(ERROR_INVALID_HANDLE));
  return S_OK;
}

// Some calls fail without setting a last error; that must still read as a failure.
constexpr int kNoLastErrorLine = __LINE__ + 2;
HRESULT BoolFalseWithoutLastError() noexcept {
  RETURN_IF_WIN32_BOOL_FALSE(FailedWith(ERROR_SUCCESS));
  return S_OK;
}

constexpr int kThrownLine = __LINE__ + 5;
HRESULT ThrownOutOfMemory() noexcept {
  try {
    throw std::bad_alloc();
  }
  CATCH_RETURN();
}

class Trace : public testing::Test {
 protected:
  void SetUp() override {
    g_lines.clear();
    m_previous = SetTraceSink(&Capture);
  }
  void TearDown() override { SetTraceSink(m_previous); }

 private:
  TraceSink m_previous = nullptr;
};

TEST_F(Trace, EachFailureNamesItsFileLineExpressionAndResult) {
  struct Case {
    HRESULT (*call)() noexcept;
    HRESULT result;
    int line;             // 0: no trace
    const wchar_t* text;  // after "file(line): "
  };
  const Case cases[] = {
      {&FailedCall, E_ACCESSDENIED, kFailedLine,
       L"Returned(E_ACCESSDENIED) failed with 0x80070005\n"},
      {&SucceededCalls, S_OK, 0, nullptr},
      {&Win32Error, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), kWin32ErrorLine,
       L"Status(ERROR_FILE_NOT_FOUND) failed with 0x80070002\n"},
      {&BoolFalse, HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), kBoolFalseLine,
       L"FailedWith(ERROR_INVALID_HANDLE) failed with 0x80070006\n"},
      {&BoolFalseWithoutLastError, E_FAIL, kNoLastErrorLine,
       L"FailedWith(ERROR_SUCCESS) failed with 0x80004005\n"},
      {&ThrownOutOfMemory, E_OUTOFMEMORY, kThrownLine, L"std::bad_alloc failed with 0x8007000E\n"},
  };
  for (const Case& c : cases) {
    g_lines.clear();
    EXPECT_EQ(c.call(), c.result) << c.line;
    if (c.line == 0) {
      EXPECT_TRUE(g_lines.empty()) << g_lines.front();
      continue;
    }
    ASSERT_EQ(g_lines.size(), 1u) << c.line;
    EXPECT_EQ(g_lines.front(),
              Utf8ToWide(__FILE__) + L'(' + std::to_wstring(c.line) + L"): " + c.text);
  }
}

}  // namespace
