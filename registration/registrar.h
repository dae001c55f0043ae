#pragma once
// Runs a registration script: the key tree of a component with its string values and removal
// rules, in registering or unregistering mode.
//
//     HKCR { NoRemove CLSID { ForceRemove {guid} = s 'Name' { InprocServer32 = s '%MODULE%'
//            { val ThreadingModel = s 'Apartment' } } } }
//
// Roots HKCR, HKCU, HKLM (or their long names). Tokens are separated by white space; names and
// texts may be quoted with '...' ('' inside stands for one quote). %MODULE% in a text stands for
// the module's path, %% for a percent sign.
// Registering: ForceRemove keys are deleted with their subtrees first, then every key is created
// and its values written. Unregistering: ForceRemove keys go with their subtrees, NoRemove keys
// stay, other keys lose their listed values and go when no subkey remains under them.

#include <windows.h>

#include <string>
#include <string_view>

namespace tavrin {

// The whole script is parsed before the registry is touched: a malformed script changes nothing
// and gives E_INVALIDARG.
HRESULT RunRegistryScript(std::wstring_view script, const std::wstring& modulePath,
                          bool registering);

// The script stored as UTF-8 in resource type "REGISTRY" of this module, %MODULE% being its path.
HRESULT RunRegistryScriptResource(UINT resourceId, bool registering);

}  // namespace tavrin
