// The markup of a link as the anchor list may show it. The list's view is a privileged page in
// quirks mode, so the link's content is rebuilt from the document tree by an allowlist instead of
// being copied as the page serialises it.
#pragma once

#include <string>

#include "browserview/document_model.h"

namespace tavrin {

// The content of `link` as HTML: text (escaped), allowed phrasing and image elements with their
// safe attributes (values escaped); script-capable elements are dropped with their content, all
// other elements are replaced by their content. Empty when nothing of the content may be shown.
// Raises DomError when the model fails.
std::string SanitizeLinkMarkup(const dom::INode& link);

}  // namespace tavrin
