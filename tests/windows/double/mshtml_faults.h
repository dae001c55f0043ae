// Failure injection: the faults InjectFault registered, matched against each call of the double.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

#include "mshtml_tree.h"

namespace tavrin::test_double {

// Where a call is made: the object's document, the element it belongs to (element calls), the
// index it was given (item calls, else -1).
struct CCallSite {
  const CTree* tree = nullptr;
  const Node* element = nullptr;
  long index = -1;
};

// The result an injected fault gives this call, counting it off; empty when none fires.
std::optional<HRESULT> TakeFault(std::wstring_view call, const CCallSite& site);

}  // namespace tavrin::test_double
