// 設定.exe as a whole program: from a folder whose name has spaces and 表, beside a copy of the
// band DLL, in the throwaway prefix; its message boxes read and pressed by the test.

#include "settingstool/band_dll.h"
#include "settingstool/setup_texts.h"
#include "shell_double_registration.h"
#include "tool_process.h"
#include "../dialogs/dialog_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tavrin;
using namespace settingstool_test;

namespace {

constexpr wchar_t kClsidKey[] = L"CLSID\\{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215}\\InprocServer32";
constexpr wchar_t kExtensionKey[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215}";
constexpr wchar_t kToolName[] = L"設定.exe";
constexpr DWORD kExitWaitMs = 10000;

void WriteText(const std::wstring& path, const std::string& text) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const UniqueHandle owned(file);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool KeyExists(HKEY root, const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const UniqueHkey owned(key);
  return true;
}

// The band's registration as the prefix holds it: the server path, or empty when unregistered.
std::wstring RegisteredServer() {
  if (!KeyExists(HKEY_LOCAL_MACHINE, kExtensionKey)) return {};
  return ReadString(HKEY_CLASSES_ROOT, kClsidKey, nullptr);
}

// The tool's folder, with the tool and, unless told otherwise, the band DLL.
class SetupProgram : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_folder.Copy(DistFile(kToolName), kToolName));
    UnregisterBandDll(DistFile(L"Tavrin.dll"));
  }
  void TearDown() override { UnregisterBandDll(DistFile(L"Tavrin.dll")); }

  std::wstring Dll() const { return m_folder.Path() + L"Tavrin.dll"; }
  void CopyDll(const std::wstring& source = DistFile(L"Tavrin.dll")) {
    ASSERT_TRUE(m_folder.Copy(source, L"Tavrin.dll"));
  }
  std::wstring Tool() const { return L"\"" + m_folder.Path() + kToolName + L"\""; }

  // Presses a button of the tool's dialog and returns the message box that follows.
  static HWND PressForBox(const CProcess& tool, HWND dialog, int button) {
    Press(dialog, button);
    return WaitForDialog(tool.Id(), dialog);
  }

  CScratchFolder m_folder{L"Tavrin 表 設定 テスト"};
};

TEST_F(SetupProgram, RegistersAndUnregistersTheDllBesideIt) {
  CopyDll();
  {
    const CProcess tool(Tool());
    const HWND dialog = WaitForDialog(tool.Id());
    ASSERT_TRUE(dialog);
    const HWND box = PressForBox(tool, dialog, 1000);
    ASSERT_TRUE(box);
    const BoxContents contents = ReadBox(box);
    EXPECT_EQ(contents.caption, kSetupTitle);
    EXPECT_EQ(contents.text, L"登録が完了しました。");
    EXPECT_EQ(contents.buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(contents.hasIcon);
    Press(box, IDOK);
    EXPECT_EQ(tool.WaitForExit(kExitWaitMs), 0u);
  }
  // What the DLL's own registration writes, with the long path of the copy.
  EXPECT_EQ(RegisteredServer(), Dll());

  const CProcess tool(Tool());
  const HWND dialog = WaitForDialog(tool.Id());
  ASSERT_TRUE(dialog);
  // Nobody holds the DLL: no question, straight to the result.
  const HWND box = PressForBox(tool, dialog, 1001);
  ASSERT_TRUE(box);
  EXPECT_EQ(ReadBox(box).text, L"解除が完了しました。");
  Press(box, IDOK);
  EXPECT_EQ(tool.WaitForExit(kExitWaitMs), 0u);
  EXPECT_EQ(RegisteredServer(), L"");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215}"));
}

TEST_F(SetupProgram, MissingDllIsNamedWithItsFullPathAndTheDialogStays) {
  const CProcess tool(Tool());
  const HWND dialog = WaitForDialog(tool.Id());
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(SaveWindowPicture(dialog, L"dialog"));
  for (const int button : {1000, 1001}) {
    const HWND box = PressForBox(tool, dialog, button);
    ASSERT_TRUE(box);
    const BoxContents contents = ReadBox(box);
    EXPECT_EQ(contents.caption, kSetupTitle);
    EXPECT_EQ(contents.text, L"ERROR : \n\n 「" + Dll() + L"」が見つかりません。");
    EXPECT_EQ(contents.buttons, std::vector<int>{IDOK});
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_EQ(tool.WaitForExit(500), static_cast<DWORD>(STILL_ACTIVE));
  }
  Press(dialog, IDOK);
  EXPECT_EQ(tool.WaitForExit(kExitWaitMs), 0u);
}

TEST_F(SetupProgram, SecondStartActivatesTheFirstCopyAndEnds) {
  CopyDll();
  const CProcess first(Tool());
  const HWND dialog = WaitForDialog(first.Id());
  ASSERT_TRUE(dialog);
  const CProcess second(Tool());
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.WaitForExit(kExitWaitMs), 0u);
  EXPECT_EQ(GetForegroundWindow(), dialog);
  EXPECT_EQ(first.WaitForExit(0), static_cast<DWORD>(STILL_ACTIVE));
  Press(dialog, IDOK);
  EXPECT_EQ(first.WaitForExit(kExitWaitMs), 0u);
}

TEST_F(SetupProgram, SystemMenuOpensTheToolsAboutBox) {
  const CProcess tool(Tool());
  const HWND dialog = WaitForDialog(tool.Id());
  ASSERT_TRUE(dialog);
  PostMessageW(dialog, WM_SYSCOMMAND, 0x0010, 0);
  const HWND about = WaitForDialog(tool.Id(), dialog);
  ASSERT_TRUE(about);
  const BoxContents contents = ReadBox(about);
  EXPECT_EQ(contents.caption, L"バージョン情報");
  EXPECT_EQ(contents.text.rfind(L"タブリン for Internet Explorerversion 1.04", 0), 0u)
      << contents.text;
  // The tool's version line has no id, unlike the band's.
  EXPECT_FALSE(GetDlgItem(about, 1007));
  EXPECT_TRUE(GetDlgItem(about, 1008));
  ASSERT_TRUE(Answer(about, IDOK));
  EXPECT_EQ(tool.WaitForExit(500), static_cast<DWORD>(STILL_ACTIVE));
  Press(dialog, IDOK);
  EXPECT_EQ(tool.WaitForExit(kExitWaitMs), 0u);
}

// The DLL registered and held by another process, the doubles standing in for the browsers, and
// the tool asked to unregister: its question is up.
class HeldDll {
 public:
  HeldDll(const std::wstring& dll, const std::wstring& tool, const wchar_t* holdMode,
          const wchar_t* windows)
      : m_doubles(windows),
        m_bRegistered(RegisterBandDll(dll).outcome == BandDllOutcome::Done),
        m_holder(holdMode, dll),
        m_tool(tool),
        m_dialog(WaitForDialog(m_tool.Id())) {
    if (m_dialog) {
      Press(m_dialog, 1001);
      m_question = WaitForDialog(m_tool.Id(), m_dialog);
    }
  }

  bool Asked() const {
    return m_doubles.Registered() && m_bRegistered && m_holder.Holding() && m_question;
  }
  const CProcess& Tool() const { return m_tool; }
  HWND Dialog() const { return m_dialog; }
  HWND Question() const { return m_question; }

 private:
  CShellDoubleRegistration m_doubles;
  bool m_bRegistered;
  CFileHolder m_holder;
  CProcess m_tool;
  HWND m_dialog;
  HWND m_question = nullptr;
};

TEST_F(SetupProgram, HeldDllAsksFirstAndNoLeavesEverythingAsItWas) {
  CopyDll();
  const HeldDll held(Dll(), Tool(), L"open", L"page");
  ASSERT_TRUE(held.Asked());
  const BoxContents contents = ReadBox(held.Question());
  EXPECT_EQ(contents.caption, kSetupTitle);
  EXPECT_EQ(contents.text, kCloseBrowsersQuestion);
  EXPECT_EQ(contents.buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_TRUE(contents.hasIcon);
  EXPECT_TRUE(SaveWindowPicture(held.Question(), L"question"));
  ASSERT_TRUE(Answer(held.Question(), IDNO));

  EXPECT_FALSE(WaitForDialog(held.Tool().Id(), held.Dialog(), 1000));
  EXPECT_TRUE(CShellDoubleRegistration::Journal().empty());
  EXPECT_EQ(RegisteredServer(), Dll());
  Press(held.Dialog(), IDOK);
  EXPECT_EQ(held.Tool().WaitForExit(kExitWaitMs), 0u);
}

TEST_F(SetupProgram, HeldDllAndYesClosesTheBrowsersHidesTheBarThenUnregisters) {
  CopyDll();
  // Held as a running browser holds it, so that it can be loaded once more to unregister.
  const HeldDll held(Dll(), Tool(), L"load", L"page,folder");
  ASSERT_TRUE(held.Asked());
  ASSERT_TRUE(Answer(held.Question(), IDYES));
  const HWND done = WaitForDialog(held.Tool().Id(), held.Dialog());
  ASSERT_TRUE(done);
  EXPECT_EQ(ReadBox(done).text, L"解除が完了しました。");

  const auto journal = CShellDoubleRegistration::Journal();
  ASSERT_EQ(journal.size(), 5u);
  EXPECT_EQ(std::vector<std::wstring>(journal.begin(), journal.begin() + 4),
            (std::vector<std::wstring>{L"hide 0", L"stop 0", L"quit 0",
                                       L"bar 8:{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215} 11:0 22:1"}));
  EXPECT_EQ(journal[4].rfind(L"quit application after ", 0), 0u);
  EXPECT_EQ(RegisteredServer(), L"");
  Press(done, IDOK);
  EXPECT_EQ(held.Tool().WaitForExit(kExitWaitMs), 0u);
}

struct BrokenDll {
  const char* name;
  const wchar_t* source;
  std::vector<std::wstring> textParts;
};

class BrokenDllIsReported : public SetupProgram, public testing::WithParamInterface<BrokenDll> {};

TEST_P(BrokenDllIsReported, AndTheDialogStaysOpen) {
  if (GetParam().source) {
    CopyDll(BuildFile(GetParam().source));
  } else {
    WriteText(Dll(), "MZ but no module");
  }
  const CProcess tool(Tool());
  const HWND dialog = WaitForDialog(tool.Id());
  ASSERT_TRUE(dialog);
  for (const int button : {1000, 1001}) {
    const HWND box = PressForBox(tool, dialog, button);
    ASSERT_TRUE(box);
    const BoxContents contents = ReadBox(box);
    EXPECT_EQ(contents.caption, kSetupTitle);
    EXPECT_EQ(contents.text.find(L"完了"), std::wstring::npos) << contents.text;
    for (const auto& part : GetParam().textParts)
      EXPECT_NE(contents.text.find(part), std::wstring::npos) << part << " in " << contents.text;
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_EQ(tool.WaitForExit(500), static_cast<DWORD>(STILL_ACTIVE));
  }
  Press(dialog, IDOK);
  EXPECT_EQ(tool.WaitForExit(kExitWaitMs), 0u);
}

void PrintTo(const BrokenDll& dll, std::ostream* out) {
  *out << dll.name;
}

INSTANTIATE_TEST_SUITE_P(
    SetupProgram, BrokenDllIsReported,
    testing::Values(
        // Its exports refuse, as when the registry cannot be written.
        BrokenDll{"ExportFails", L"failing-band.dll", {L"失敗しました", L"0x80070005", L"権限"}},
        BrokenDll{"NotAModule", nullptr, {L"読み込めません", L"0x800700C1"}},
        BrokenDll{"NoExport",
                  L"..\\double\\shell-windows-double.dll",
                  {L"登録のための関数がありません"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
