// hold-file.exe MODE PATH: holds a file as another process would until the test lets go (the named
// event below) or a minute has passed. MODE "open": opened for reading without any sharing;
// "load": loaded as a module, the way a browser holds the band DLL.

#include "framework/unique_any.h"

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring mode = argv[1];
  tavrin::UniqueHandle file;
  tavrin::UniqueHmodule module;
  if (mode == L"open") {
    const HANDLE opened = CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return 1;
    file.reset(opened);
  } else {
    module.reset(LoadLibraryW(argv[2]));
    if (!module) return 1;
  }
  const tavrin::UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, L"TavrinHoldFileRelease"));
  WaitForSingleObject(release.get(), 60000);
  return 0;
}
