#pragma once
// 設定.exe run as a whole program from a folder of its own, and the windows it shows, read and
// pressed from the test's process.

#include "framework/unique_any.h"

#include <windows.h>

#include <string>
#include <vector>

namespace settingstool_test {

// A fresh folder under the prefix's temporary folder, removed with what it holds.
class CScratchFolder {
 public:
  explicit CScratchFolder(const std::wstring& name);
  CScratchFolder(const CScratchFolder&) = delete;
  CScratchFolder& operator=(const CScratchFolder&) = delete;
  ~CScratchFolder();

  // The folder with its trailing backslash.
  const std::wstring& Path() const { return m_path; }
  bool Copy(const std::wstring& source, const std::wstring& name) const;

 private:
  std::wstring m_path;
};

// The built deliverables and test programs.
std::wstring DistFile(const wchar_t* name);
std::wstring BuildFile(const wchar_t* relative);

// A program started by the test; one still running at the end is ended.
class CProcess {
 public:
  explicit CProcess(const std::wstring& commandLine);
  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;
  ~CProcess();

  bool Started() const { return static_cast<bool>(m_process); }
  DWORD Id() const { return m_id; }
  // The exit code, or STILL_ACTIVE when it has not ended within the time.
  DWORD WaitForExit(DWORD milliseconds) const;

 private:
  tavrin::UniqueHandle m_process;
  DWORD m_id = 0;
};

// A visible "#32770" window of the process other than except, waited for up to ten seconds.
HWND WaitForDialog(DWORD processId, HWND except = nullptr, DWORD milliseconds = 10000);

// hold-file.exe holding a file ("open": without sharing; "load": as a loaded module) until the
// object goes; constructed once the tool would see the file as locked.
class CFileHolder {
 public:
  CFileHolder(const wchar_t* mode, const std::wstring& path);
  CFileHolder(const CFileHolder&) = delete;
  CFileHolder& operator=(const CFileHolder&) = delete;
  ~CFileHolder();

  bool Holding() const { return m_bHolding; }

 private:
  tavrin::UniqueHandle m_hRelease;
  CProcess m_process;
  bool m_bHolding = false;
};

struct BoxContents {
  std::wstring caption;
  // The static texts in order, icons left out.
  std::wstring text;
  std::vector<int> buttons;
  bool hasIcon = false;
};
BoxContents ReadBox(HWND box);
// Posted, so that the test is not blocked by what the press opens.
void Press(HWND dialog, int id);
// Presses a button of a message box and waits up to ten seconds for the box to go.
bool Answer(HWND box, int id);

}  // namespace settingstool_test
