#include "settingstool/register_dialog.h"

#include "framework/gdi.h"
#include "framework/module.h"
#include "settingstool/band_dll.h"
#include "settingstool/browser_closer.h"
#include "settingstool/setup_resource.h"
#include "settingstool/setup_texts.h"
#include "shared/version_dialog.h"
#include "tavrin_idl.h"

#include <cwchar>

namespace tavrin {
namespace {

// Restores the cursor it replaced.
class CWaitCursor {
 public:
  CWaitCursor() noexcept : m_hPrevious(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
  ~CWaitCursor() { SetCursor(m_hPrevious); }

 private:
  HCURSOR m_hPrevious;
};

std::wstring BandClsidString() {
  wchar_t text[40] = {};
  StringFromGUID2(CLSID_TavrinBandsObject, text, 40);
  return text;
}

std::wstring HexResult(HRESULT hr) {
  wchar_t text[16] = {};
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// The system's own words for a result, when it has them.
std::wstring SystemText(HRESULT hr) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const UniqueAny<HLOCAL, &::LocalFree> owned(text);
  std::wstring result(text ? text : L"", length);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) result.pop_back();
  return result;
}

// Registry writes refused: the usual reason is a user without administrator rights.
bool IsRightsFailure(HRESULT hr) noexcept {
  return hr == E_ACCESSDENIED || hr == TYPE_E_REGISTRYACCESS;
}

}  // namespace

CRegisterDialog::CRegisterDialog(MessageBoxFunction messageBox) noexcept
    : m_messageBox(messageBox), m_hIcon(LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(IDI_SETUP))) {}

INT_PTR CRegisterDialog::Run(HWND owner) noexcept {
  return DoModal(ModuleInstance(), IDD_REGISTER, owner);
}

std::optional<INT_PTR> CRegisterDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_REGISTER:
          OnRegister();
          return TRUE;
        case IDC_UNREGISTER:
          OnUnregister();
          return TRUE;
        case IDOK:
        case IDCANCEL:
          EndDialog(Handle(), LOWORD(wParam));
          return TRUE;
        default:
          return std::nullopt;
      }
    case WM_SYSCOMMAND:
      if (!OnSysCommand(wParam)) return std::nullopt;
      return TRUE;
    case WM_PAINT:
      if (!OnPaint()) return std::nullopt;
      return TRUE;
    case WM_QUERYDRAGICON:
      // One of the messages whose answer is the dialog procedure's own result.
      return reinterpret_cast<INT_PTR>(m_hIcon);
    default:
      return std::nullopt;
  }
}

void CRegisterDialog::OnInitDialog() {
  const HWND dialog = Handle();
  wchar_t* about = nullptr;
  // Length 0 asks for a read-only pointer into the resource itself.
  const int length =
      LoadStringW(ModuleInstance(), IDS_ABOUT_MENU, reinterpret_cast<wchar_t*>(&about), 0);
  if (const HMENU menu = GetSystemMenu(dialog, FALSE); menu && length > 0) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUT, std::wstring(about, length).c_str());
  }
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SetWindowTextW(dialog, kSetupTitle);
  SetDlgItemTextW(dialog, IDC_REGISTER_GROUP, kGroupText);
  SetDlgItemTextW(dialog, IDC_REGISTER_TEXT, kRegisterText);
  SetDlgItemTextW(dialog, IDC_UNREGISTER_TEXT, kUnregisterText);
}

bool CRegisterDialog::OnSysCommand(WPARAM command) {
  if ((command & 0xFFF0) != IDM_ABOUT) return false;
  CVersionDialog about(IDI_SETUP, false);
  about.Run(Handle());
  return true;
}

bool CRegisterDialog::OnPaint() {
  const HWND dialog = Handle();
  if (!IsIconic(dialog)) return false;
  const CPaintDc dc(dialog);
  SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
  RECT client{};
  GetClientRect(dialog, &client);
  const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc.get(), x, y, m_hIcon);
  return true;
}

int CRegisterDialog::Show(const std::wstring& text, UINT type) {
  return m_messageBox(Handle(), text.c_str(), kSetupTitle, type);
}

std::wstring CRegisterDialog::ExistingBandDll() {
  std::wstring path = GetBandDllPath();
  if (FileExists(path)) return path;
  Show(L"ERROR : \n\n 「" + path + L"」が見つかりません。", MB_ICONEXCLAMATION | MB_OK);
  return {};
}

bool CRegisterDialog::ReportOutcome(const std::wstring& path, const BandDllResult& result,
                                    const wchar_t* doneMessage, const wchar_t* failedMessage) {
  std::wstring text = L"ERROR : \n\n";
  switch (result.outcome) {
    case BandDllOutcome::Done:
      Show(doneMessage, MB_ICONEXCLAMATION | MB_OK);
      return true;
    case BandDllOutcome::NotLoadable:
      text += L"「" + path + L"」をタブリンのDLLとして読み込めません。";
      break;
    case BandDllOutcome::NoExport:
      text += L"「" + path + L"」はタブリンのDLLではありません。登録のための関数がありません。";
      break;
    case BandDllOutcome::Failed:
      text += failedMessage;
      if (IsRightsFailure(result.hr))
        text += L"\n\nレジストリに書き込む権限がありません。管理者として実行してください。";
      break;
  }
  text += L"\n\n(" + HexResult(result.hr);
  if (const std::wstring reason = SystemText(result.hr); !reason.empty()) text += L" " + reason;
  text += L")";
  Show(text, MB_ICONEXCLAMATION | MB_OK);
  return false;
}

void CRegisterDialog::OnRegister() {
  const std::wstring path = ExistingBandDll();
  if (path.empty()) return;
  if (ReportOutcome(path, RegisterBandDll(path), kRegisteredMessage, L"登録に失敗しました。"))
    EndDialog(Handle(), IDOK);
}

void CRegisterDialog::OnUnregister() {
  const std::wstring path = ExistingBandDll();
  if (path.empty()) return;
  if (IsFileLocked(path)) {
    if (Show(kCloseBrowsersQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    {
      const CWaitCursor wait;
      CBrowserCloser closer;
      closer.CloseBrowsers();
      closer.CloseBrowsers();
    }
    HideBandInNewBrowser(BandClsidString());
  }
  if (ReportOutcome(path, UnregisterBandDll(path), kUnregisteredMessage, L"解除に失敗しました。"))
    EndDialog(Handle(), IDOK);
}

}  // namespace tavrin
