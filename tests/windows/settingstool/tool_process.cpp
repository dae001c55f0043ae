#include "tool_process.h"

#include "settingstool/band_dll.h"

#include <algorithm>

namespace settingstool_test {
namespace {

constexpr DWORD kWindowWaitMs = 10000;

std::wstring Folder(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

struct DialogSearch {
  DWORD processId;
  HWND except;
  HWND found;
};

BOOL CALLBACK FindProcessDialog(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<DialogSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search.processId || window == search.except || !IsWindowVisible(window) ||
      ClassOf(window) != L"#32770")
    return TRUE;
  search.found = window;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
  auto& box = *reinterpret_cast<BoxContents*>(parameter);
  const std::wstring kind = ClassOf(child);
  if (_wcsicmp(kind.c_str(), L"Button") == 0) {
    box.buttons.push_back(GetDlgCtrlID(child));
  } else if (_wcsicmp(kind.c_str(), L"Static") == 0) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      box.hasIcon = true;
    } else {
      box.text += TextOf(child);
    }
  }
  return TRUE;
}

}  // namespace

CScratchFolder::CScratchFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  m_path = std::wstring(temp) + name + L"\\";
  CreateDirectoryW(m_path.c_str(), nullptr);
}

CScratchFolder::~CScratchFolder() {
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW((m_path + L"*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileW((m_path + entry.cFileName).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(m_path.c_str());
}

bool CScratchFolder::Copy(const std::wstring& source, const std::wstring& name) const {
  return CopyFileW(source.c_str(), (m_path + name).c_str(), FALSE) != FALSE;
}

std::wstring DistFile(const wchar_t* name) {
  return std::wstring(TAVRIN_DIST_DIR) + L"\\" TAVRIN_DIST_ARCH L"\\" + name;
}

std::wstring BuildFile(const wchar_t* relative) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return Folder(path) + relative;
}

CProcess::CProcess(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return;
  m_process.reset(process.hProcess);
  const tavrin::UniqueHandle thread(process.hThread);
  m_id = process.dwProcessId;
}

CProcess::~CProcess() {
  if (m_process && WaitForExit(0) == STILL_ACTIVE) {
    TerminateProcess(m_process.get(), 1);
    WaitForSingleObject(m_process.get(), kWindowWaitMs);
  }
}

DWORD CProcess::WaitForExit(DWORD milliseconds) const {
  if (WaitForSingleObject(m_process.get(), milliseconds) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(m_process.get(), &code);
  return code;
}

HWND WaitForDialog(DWORD processId, HWND except, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  do {
    DialogSearch search{processId, except, nullptr};
    EnumWindows(&FindProcessDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(50);
  } while (GetTickCount64() < end);
  return nullptr;
}

CFileHolder::CFileHolder(const wchar_t* mode, const std::wstring& path)
    : m_hRelease(CreateEventW(nullptr, TRUE, FALSE, L"TavrinHoldFileRelease")),
      m_process(L"\"" + BuildFile(L"hold-file.exe") + L"\" " + mode + L" \"" + path + L"\"") {
  ResetEvent(m_hRelease.get());
  const ULONGLONG end = GetTickCount64() + kWindowWaitMs;
  while (!(m_bHolding = tavrin::IsFileLocked(path)) && GetTickCount64() < end &&
         m_process.WaitForExit(0) == STILL_ACTIVE)
    Sleep(50);
}

CFileHolder::~CFileHolder() {
  SetEvent(m_hRelease.get());
  m_process.WaitForExit(kWindowWaitMs);
}

BoxContents ReadBox(HWND box) {
  BoxContents contents;
  contents.caption = TextOf(box);
  EnumChildWindows(box, &CollectChild, reinterpret_cast<LPARAM>(&contents));
  std::sort(contents.buttons.begin(), contents.buttons.end());
  return contents;
}

void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace settingstool_test

namespace settingstool_test {

bool Answer(HWND box, int id) {
  Press(box, id);
  const ULONGLONG end = GetTickCount64() + kWindowWaitMs;
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (GetTickCount64() > end) return false;
    Sleep(50);
  }
  return true;
}

}  // namespace settingstool_test
