// One run of the anchor list: walk the recorded frame documents and the main document, render
// one table per visited document into the view, clean the view up.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "browserview/document_model.h"

namespace tavrin {

struct RefreshContext {
  // The documents recorded during the last page load, in recording order (entries may be null).
  std::vector<dom::DocumentPtr> frameDocuments;
  // Sets the main browser's status text.
  std::function<void(const std::string&)> setStatusText;
  // Reads the "DomainOnly" setting; empty when the read fails.
  std::function<std::optional<std::uint32_t>()> readDomainOnly;
};

// 1 when the view received a new list, else 0. `anchorList`, when given, receives the list as
// it was put into the view (before clean-up).
int ListAnchorsIntoView(const RefreshContext& context, const dom::DocumentPtr& mainDocument,
                        dom::IBrowser* viewBrowser, std::string* anchorList = nullptr);

}  // namespace tavrin
