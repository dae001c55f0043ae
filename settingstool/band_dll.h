#pragma once
// Where the tool finds the band DLL, whether a browser holds it, and the DLL's own registration
// exports. Paths are wide and have no length limit.

#include <windows.h>

#include <string>

namespace tavrin {

// The folder of a full path without its last backslash; a bare drive keeps it ("C:\"). Empty when
// the path has no backslash.
std::wstring GetModuleDirectory(const std::wstring& path);
// Appends a backslash unless the path already ends with one.
void AppendBackslash(std::wstring& path);
// Tavrin.dll beside the running executable; empty when the system cannot name the executable.
std::wstring GetBandDllPath();

// The path names something that is not a folder.
bool FileExists(const std::wstring& path) noexcept;
// Another process holds the file open: opening it for writing without sharing meets a sharing
// violation. Any other failure counts as not locked.
bool IsFileLocked(const std::wstring& path) noexcept;

enum class BandDllOutcome {
  Done,
  // The file cannot be loaded as a module; hr carries the loader's error.
  NotLoadable,
  // The module lacks the export.
  NoExport,
  // The export ran and returned the failure in hr.
  Failed,
};

struct BandDllResult {
  BandDllOutcome outcome;
  HRESULT hr;
};

// Load the DLL by its full path and call DllRegisterServer or DllUnregisterServer.
BandDllResult RegisterBandDll(const std::wstring& path) noexcept;
BandDllResult UnregisterBandDll(const std::wstring& path) noexcept;

}  // namespace tavrin
