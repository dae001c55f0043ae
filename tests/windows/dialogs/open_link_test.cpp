#include "../registry_fixture.h"
#include "shared/open_link.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <shellapi.h>

using namespace tavrin;

namespace {

struct ShownMessage {
  std::wstring text;
  std::wstring caption;
  UINT flags = 0;
};
ShownMessage g_shown;

int WINAPI CaptureMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT flags) {
  g_shown = {text, caption, flags};
  return IDOK;
}

TEST(OpenError, PrefixesTheCodesTextAndNamesTheProgram) {
  const std::pair<int, const wchar_t*> cases[] = {
      {26, L"A sharing violation occurred. "},
      {31, L"There is no application associated\nwith the given filename extension."},
      {1, L"Unknown Error (1) occurred."},
      {-7, L"Unknown Error (-7) occurred."},
  };
  for (const auto& [code, text] : cases) {
    g_shown = {};
    ShowOpenError(nullptr, code, &CaptureMessageBox);
    EXPECT_EQ(g_shown.text, std::wstring(L"Unable to open hyperlink:\n\n") + text);
    EXPECT_EQ(g_shown.caption, L"dialogs_test");
    EXPECT_EQ(g_shown.flags, static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
  }
}

// The ".htm" association lives under a scratch key that stands in for HKEY_CLASSES_ROOT.
class FallbackCommand : public ScratchKey {
 protected:
  static void SetDefault(const std::wstring& path, const std::wstring& text) {
    MakeKey(Path(path));
    SetRaw(Path(path), nullptr, REG_SZ, text.c_str(),
           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  static void Associate(const std::wstring& command) {
    SetDefault(L"Classes\\.htm", L"tavrintest.page");
    SetDefault(L"Classes\\tavrintest.page\\shell\\open\\command", command);
  }

  static std::optional<std::wstring> Build(const std::wstring& target) {
    UniqueHkey classes;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Path(L"Classes").c_str(), 0, KEY_READ, classes.put()) !=
        ERROR_SUCCESS) {
      static_cast<void>(classes.release());
    }
    return FallbackCommandLine(classes.get(), target);
  }
};

TEST_F(FallbackCommand, TheTargetTakesThePlaceOfTheQuotedOrBarePlaceholder) {
  const std::wstring target = L"http://www.halvek.example/";
  Associate(L"\"C:\\Program Files\\Browser\\browser.exe\" -nohome \"%1\"");
  EXPECT_EQ(Build(target),
            L"\"C:\\Program Files\\Browser\\browser.exe\" -nohome  \"" + target + L"\"");
  Associate(L"C:\\Browser\\browser.exe %1 -new");
  EXPECT_EQ(Build(target), L"C:\\Browser\\browser.exe  \"" + target + L"\"");
  Associate(L"C:\\Browser\\browser.exe");
  EXPECT_EQ(Build(target), L"C:\\Browser\\browser.exe \"" + target + L"\"");
}

TEST_F(FallbackCommand, ATargetLongerThanAnyCommandBufferArrivesWhole) {
  Associate(L"\"C:\\Browser\\browser.exe\" \"%1\"");
  const std::wstring target = L"http://www.halvek.example/" + std::wstring(600, L'あ');
  EXPECT_EQ(Build(target), L"\"C:\\Browser\\browser.exe\"  \"" + target + L"\"");
}

// However it is written, the target reaches the browser as its one last argument: spaces do not
// split it and quotes do not add switches.
TEST_F(FallbackCommand, TheTargetIsOneArgumentWhateverItHolds) {
  Associate(L"\"C:\\Program Files\\Browser\\browser.exe\" -nohome \"%1\"");
  for (const std::wstring target :
       {L"C:\\My Pages\\links list.htm", L"http://e.example/a b\" -new-window \"c",
        L"file:///C:/dir with space\\", L"\\\\server\\share\\\"quoted\\\\\" x", L"\"", L""}) {
    const std::optional<std::wstring> command = Build(target);
    ASSERT_TRUE(command);
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(
        CommandLineToArgvW(command->c_str(), &count), &LocalFree);
    ASSERT_TRUE(argv);
    ASSERT_EQ(count, 3) << *command;
    EXPECT_EQ(std::wstring(argv.get()[1]), L"-nohome");
    EXPECT_EQ(std::wstring(argv.get()[2]), target) << *command;
  }
}

// A command may name its program through variables, and a value may lack its terminator.
TEST_F(FallbackCommand, TheCommandIsReadExpandedAndToItsSize) {
  SetDefault(L"Classes\\.htm", L"tavrintest.page");
  const std::wstring path = L"Classes\\tavrintest.page\\shell\\open\\command";
  MakeKey(Path(path));
  const std::wstring expandable = L"%SystemRoot%\\browser.exe";
  SetRaw(Path(path), nullptr, REG_EXPAND_SZ, expandable.c_str(),
         static_cast<DWORD>((expandable.size() + 1) * sizeof(wchar_t)));
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", windows, MAX_PATH), 0u);
  EXPECT_EQ(Build(L"x"), std::wstring(windows) + L"\\browser.exe \"x\"");
  const std::wstring unterminated = L"C:\\browser.exe";
  SetRaw(Path(path), nullptr, REG_SZ, unterminated.c_str(),
         static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
  EXPECT_EQ(Build(L"x"), L"C:\\browser.exe \"x\"");
}

TEST_F(FallbackCommand, NoneWithoutACompleteAssociation) {
  EXPECT_EQ(Build(L"x"), std::nullopt);
  SetDefault(L"Classes\\.htm", L"tavrintest.page");
  EXPECT_EQ(Build(L"x"), std::nullopt);
  Associate(L"");
  EXPECT_EQ(Build(L"x"), std::nullopt);
  const DWORD notText = 1;
  SetRaw(Path(L"Classes\\tavrintest.page\\shell\\open\\command"), nullptr, REG_DWORD, &notText,
         sizeof(notText));
  EXPECT_EQ(Build(L"x"), std::nullopt);
}

}  // namespace
