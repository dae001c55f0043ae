#include "mshtml_faults.h"

#include <vector>

#include "browserview/ascii_case.h"
#include "framework/text.h"
#include "mshtml_double.h"

namespace tavrin::test_double {
namespace {

std::vector<CFault>& Faults() {
  static std::vector<CFault> faults;
  return faults;
}

// The element's position among the document's elements that the fault's tag selects.
long ElementPosition(const CTree& tree, const Node& element, const std::string& tag) {
  long position = 0;
  for (const Node* node : SelectElements(tree, Selection::All, tag)) {
    if (node == &element) return position;
    ++position;
  }
  return -1;
}

bool Matches(const CFault& fault, std::wstring_view call, const CCallSite& site) {
  if (fault.call != call || fault.times == 0) return false;
  if (!fault.documentUrl.empty() &&
      (!site.tree || Utf8ToWide(site.tree->url) != fault.documentUrl)) {
    return false;
  }
  const std::string tag = WideToUtf8(fault.tag);
  if (!tag.empty() && (!site.element || site.element->kind != Node::Kind::Element ||
                       !EqualsIgnoringAsciiCase(TagNameOf(*site.element), tag))) {
    return false;
  }
  if (fault.index < 0) return true;
  if (!site.element) return site.index == fault.index;
  return site.tree && ElementPosition(*site.tree, *site.element, tag) == fault.index;
}

}  // namespace

void InjectFault(const CFault& fault) {
  Faults().push_back(fault);
}

void ClearFaults() {
  Faults().clear();
}

std::optional<HRESULT> TakeFault(std::wstring_view call, const CCallSite& site) {
  for (CFault& fault : Faults()) {
    if (!Matches(fault, call, site)) continue;
    if (fault.times > 0) --fault.times;
    return fault.result;
  }
  return std::nullopt;
}

}  // namespace tavrin::test_double
