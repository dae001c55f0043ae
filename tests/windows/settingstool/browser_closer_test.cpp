#include "settingstool/browser_closer.h"
#include "shell_double_registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tavrin;
using settingstool_test::CShellDoubleRegistration;
using Lines = std::vector<std::wstring>;

namespace {

constexpr DWORD kShortTimeoutMs = 1000;
constexpr wchar_t kBandClsid[] = L"{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215}";

struct PassCase {
  const char* name;
  const wchar_t* windows;
  Lines firstPass;
  Lines secondPass;
};

// Places in the scenario: each window is journalled under its place.
const PassCase kPassCases[] = {
    {"NoWindowsAtAll", L"", {}, {}},
    {"FolderWindowsOnly", L"folder,folder", {}, {}},
    {"EveryKindOfWindow",
     L"page,loading,folder,null,docfail,late,other,page",
     {L"hide 0", L"stop 0", L"hide 1", L"stop loading 1", L"hide 7", L"stop 7", L"quit 0",
      L"quit 1", L"quit 7"},
     {L"hide 5", L"stop 5", L"quit 5"}},
};

class ClosingPass : public testing::TestWithParam<PassCase> {};

TEST_P(ClosingPass, HidesAndStopsPagesWhileEnumeratingQuitsThemAfterAndLeavesTheRest) {
  const PassCase& pass = GetParam();
  const CShellDoubleRegistration doubles(pass.windows);
  ASSERT_TRUE(doubles.Registered());
  CBrowserCloser closer(kShortTimeoutMs);

  EXPECT_TRUE(closer.CloseBrowsers());
  EXPECT_EQ(CShellDoubleRegistration::Journal(), pass.firstPass);

  EXPECT_TRUE(closer.CloseBrowsers());
  Lines both = pass.firstPass;
  both.insert(both.end(), pass.secondPass.begin(), pass.secondPass.end());
  EXPECT_EQ(CShellDoubleRegistration::Journal(), both);
}

void PrintTo(const PassCase& pass, std::ostream* out) {
  *out << pass.name;
}

INSTANTIATE_TEST_SUITE_P(Windows, ClosingPass, testing::ValuesIn(kPassCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ClosingPass, FailsWhenTheCollectionCannotBeCreated) {
  const settingstool_test::CScopedMachineValue missing(
      settingstool_test::ClassKey(CLSID_ShellWindows), L"C:\\no such folder\\shell.dll",
      L"C:\\windows\\system32\\ieframe.dll");
  ASSERT_TRUE(missing.Set());
  EXPECT_FALSE(CBrowserCloser(kShortTimeoutMs).CloseBrowsers());
}

TEST(HideBandInNewBrowser, HidesTheBarWithThreeTypedArgumentsWaitsTwoSecondsAndQuits) {
  const CShellDoubleRegistration doubles(L"");
  ASSERT_TRUE(doubles.Registered());
  EXPECT_TRUE(HideBandInNewBrowser(kBandClsid, kShortTimeoutMs));
  const Lines journal = CShellDoubleRegistration::Journal();
  ASSERT_EQ(journal.size(), 2u);
  // VT_BSTR with the CLSID, VT_BOOL false, VT_INT 1.
  EXPECT_EQ(journal[0], std::wstring(L"bar 8:") + kBandClsid + L" 11:0 22:1");
  unsigned long waited = 0;
  ASSERT_EQ(swscanf(journal[1].c_str(), L"quit application after %lu", &waited), 1) << journal[1];
  EXPECT_GE(waited, 1900u);
  EXPECT_LT(waited, 4000u);
}

TEST(HideBandInNewBrowser, FailsWhenTheAutomationObjectCannotBeCreated) {
  const CShellDoubleRegistration doubles(L"");
  const settingstool_test::CScopedMachineValue unknown(
      L"Software\\Classes\\InternetExplorer.Application\\CLSID",
      L"{00000000-0000-0000-0000-00000000BEEF}", L"{0002DF01-0000-0000-C000-000000000046}");
  ASSERT_TRUE(unknown.Set());
  EXPECT_FALSE(HideBandInNewBrowser(kBandClsid, kShortTimeoutMs));
  EXPECT_TRUE(CShellDoubleRegistration::Journal().empty());
}

}  // namespace
