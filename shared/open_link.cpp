#include "shared/open_link.h"

#include "framework/module.h"
#include "framework/unique_any.h"
#include "shared/registry.h"

#include <shellapi.h>

#include <algorithm>

namespace tavrin {
namespace {

// Runs a command line as WinExec would, but wide, so that no character of the target is lost.
int RunCommandLine(std::wstring commandLine, int showCommand) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    // WinExec's codes are the small system errors; anything else reads as a bad executable.
    const DWORD error = GetLastError();
    return error < 32 ? static_cast<int>(error) : ERROR_BAD_FORMAT;
  }
  const UniqueHandle thread(process.hThread);
  const UniqueHandle child(process.hProcess);
  return 33;
}

// The text as one argument of a command line, as CommandLineToArgvW and the C runtime read it:
// quoted, with a quote and the backslashes before it (or before the closing quote) escaped.
std::wstring QuotedArgument(const std::wstring& text) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L'"';
}

const wchar_t* KnownOpenErrorText(int code) {
  switch (code) {
    case 0:
      return L"The operating system is out\nof memory or resources.";
    case 2:
      return L"The specified file was not found.";
    case 3:
      return L"The specified path was not found.";
    case 5:
      return L"The operating system denied\naccess to the specified file.";
    case 8:
      return L"There was not enough memory to complete the operation.";
    case 11:
      return L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
      return L"A sharing violation occurred. ";
    case 27:
      return L"The filename association is\nincomplete or invalid.";
    case 28:
      return L"The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
      return L"The DDE transaction failed.";
    case 30:
      return L"The DDE transaction could not\nbe completed because other DDE transactions\nwere "
             L"being processed.";
    case 31:
      return L"There is no application associated\nwith the given filename extension.";
    case 32:
      return L"The specified dynamic-link library was not found.";
    default:
      return nullptr;
  }
}

// The file name of the module without its folder and extension.
std::wstring ApplicationTitle() {
  std::wstring name = ModuleFileName();
  name.erase(0, name.find_last_of(L"\\/") + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

}  // namespace

int OpenLink(const std::wstring& target, int showCommand) {
  const int result = static_cast<int>(reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, showCommand)));
  if (result > 32) return result;
  const std::optional<std::wstring> commandLine = FallbackCommandLine(HKEY_CLASSES_ROOT, target);
  if (!commandLine) return result;
  return RunCommandLine(*commandLine, showCommand);
}

std::optional<std::wstring> FallbackCommandLine(HKEY classesRoot, const std::wstring& target) {
  std::wstring fileType;
  if (ReadDefaultValue(classesRoot, L".htm", fileType) != ERROR_SUCCESS) return std::nullopt;
  // A value that cannot be read as a string also reads as empty.
  std::wstring command;
  if (ReadDefaultValue(classesRoot, fileType + L"\\shell\\open\\command", command) !=
          ERROR_SUCCESS ||
      command.empty()) {
    return std::nullopt;
  }
  size_t cut = command.find(L"\"%1\"");
  if (cut == std::wstring::npos) cut = command.find(L"%1");
  if (cut != std::wstring::npos) command.resize(cut);
  return command + L" " + QuotedArgument(target);
}

LONG ReadDefaultValue(HKEY root, const std::wstring& path, std::wstring& text) {
  text.clear();
  LSTATUS opened = ERROR_SUCCESS;
  const UniqueHkey key = RegistryOpenKey(root, path, KEY_QUERY_VALUE, &opened);
  if (!key) return opened;
  // RegQueryValueExW rather than RegGetValueW, which Windows XP lacks: so the string may come
  // without its terminator, and REG_EXPAND_SZ is expanded here.
  DWORD type = 0;
  DWORD size = 0;
  const auto read = [&](void* data) {
    return RegQueryValueExW(key.get(), nullptr, nullptr, &type, static_cast<BYTE*>(data),
                            &size) == ERROR_SUCCESS &&
           (type == REG_SZ || type == REG_EXPAND_SZ);
  };
  if (!read(nullptr)) return ERROR_SUCCESS;
  std::wstring value(size / sizeof(wchar_t), L'\0');
  if (!read(value.data())) return ERROR_SUCCESS;
  value.resize(size / sizeof(wchar_t));
  value.resize(std::min(value.size(), value.find(L'\0')));
  if (type == REG_EXPAND_SZ) {
    const DWORD length = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    std::wstring expanded(length, L'\0');
    if (length == 0 ||
        ExpandEnvironmentStringsW(value.c_str(), expanded.data(), length) != length) {
      return ERROR_SUCCESS;
    }
    expanded.resize(length - 1);
    value = std::move(expanded);
  }
  text = std::move(value);
  return ERROR_SUCCESS;
}

void ShowOpenError(HWND owner, int code, MessageBoxFunction messageBox) {
  std::wstring message = L"Unable to open hyperlink:\n\n";
  if (const wchar_t* known = KnownOpenErrorText(code)) {
    message += known;
  } else {
    message += L"Unknown Error (" + std::to_wstring(code) + L") occurred.";
  }
  messageBox(owner, message.c_str(), ApplicationTitle().c_str(), MB_ICONEXCLAMATION | MB_OK);
}

}  // namespace tavrin
