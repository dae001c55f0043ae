#pragma once
// Registration of the type library embedded in a module (resource TYPELIB 1).

#include <windows.h>

#include <string>

namespace tavrin {

HRESULT RegisterModuleTypeLib(const std::wstring& modulePath);
// S_OK when the library is not registered or the system has no UnRegisterTypeLib (it is looked up
// at run time).
HRESULT UnregisterModuleTypeLib(const std::wstring& modulePath);

}  // namespace tavrin
