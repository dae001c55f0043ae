#include "settingstool/band_dll.h"

#include "framework/hresult.h"
#include "framework/module.h"
#include "framework/unique_any.h"
#include "settingstool/setup_texts.h"

namespace tavrin {
namespace {

BandDllResult CallExport(const std::wstring& path, const char* name) noexcept {
  const UniqueHmodule dll(LoadLibraryW(path.c_str()));
  if (!dll) return {BandDllOutcome::NotLoadable, LastErrorResult()};
  const auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(dll.get(), name)));
  if (!entry) return {BandDllOutcome::NoExport, LastErrorResult()};
  const HRESULT hr = entry();
  return {SUCCEEDED(hr) ? BandDllOutcome::Done : BandDllOutcome::Failed, hr};
}

}  // namespace

std::wstring GetModuleDirectory(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  std::wstring directory = path.substr(0, slash);
  if (directory.size() == 2) directory += L'\\';
  return directory;
}

void AppendBackslash(std::wstring& path) {
  if (path.empty() || path.back() != L'\\') path += L'\\';
}

std::wstring GetBandDllPath() {
  std::wstring path = GetModuleDirectory(ModuleFileName());
  if (path.empty()) return {};
  AppendBackslash(path);
  return path + kBandDllName;
}

bool FileExists(const std::wstring& path) noexcept {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFileLocked(const std::wstring& path) noexcept {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  const UniqueHandle opened(file);
  return false;
}

BandDllResult RegisterBandDll(const std::wstring& path) noexcept {
  return CallExport(path, "DllRegisterServer");
}

BandDllResult UnregisterBandDll(const std::wstring& path) noexcept {
  return CallExport(path, "DllUnregisterServer");
}

}  // namespace tavrin
