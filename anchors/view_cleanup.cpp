#include "anchors/view_cleanup.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "anchors/anchor_constants.h"
#include "anchors/anchor_row.h"
#include "anchors/html_escape.h"
#include "browserview/ascii_case.h"

namespace tavrin {
namespace {

// The elements of the tag in the document's `all` collection; null when there is no `all`.
dom::CollectionPtr TaggedElements(dom::IDocument& document, const std::string& tagName) {
  const dom::CollectionPtr all = document.All();
  if (!all) return nullptr;
  dom::CollectionPtr tagged = all->Tags(tagName);
  if (!tagged) throw dom::DomError(dom::kErrorNullResult, "tags call gave no collection");
  return tagged;
}

// Whether nothing of the link's content shows: no image, no text but white space. A child that
// cannot be had counts as shown, so that what cannot be read is never overwritten.
bool ShowsNothing(const dom::INode& link) {
  std::vector<dom::NodePtr> pending = link.ChildNodes();
  while (!pending.empty()) {
    const dom::NodePtr node = std::move(pending.back());
    pending.pop_back();
    if (!node) return false;
    switch (node->Type()) {
      case dom::NodeType::Text:
        if (!std::ranges::all_of(node->Data(), IsAsciiWhitespace)) return false;
        break;
      case dom::NodeType::Element: {
        if (node->IsImage()) return false;
        std::vector<dom::NodePtr> children = node->ChildNodes();
        std::move(children.begin(), children.end(), std::back_inserter(pending));
        break;
      }
      case dom::NodeType::Other:  // comments
        break;
    }
  }
  return true;
}

}  // namespace

void CleanUpViewDocument(dom::IDocument& document) {
  UnwrapFontTags(document);
  RemoveTags(document, "DIV");
  RemoveTags(document, "SPAN");
  RemoveTags(document, "BR");
  SimplifyImages(document);
  FillEmptyLinks(document);
}

int UnwrapFontTags(dom::IDocument& document) {
  const dom::CollectionPtr fonts = TaggedElements(document, "FONT");
  if (!fonts) return 0;
  for (long i = fonts->Length() - 1; i >= 0; --i) {
    const dom::NodePtr font = fonts->Item(i);
    if (!font || !font->IsFont()) continue;
    // On the tree: writing the content back as markup would let the browser's serialisation
    // change it (a bare attribute value starting with a backtick becomes an attribute).
    font->RemoveKeepingContent();
  }
  return 1;
}

int RemoveTags(dom::IDocument& document, const std::string& tagName) {
  const dom::CollectionPtr elements = TaggedElements(document, tagName);
  if (!elements) return 0;
  for (long i = elements->Length() - 1; i >= 0; --i) {
    const dom::NodePtr element = elements->Item(i);
    if (element) element->Remove();
  }
  return 1;
}

int SimplifyImages(dom::IDocument& document) {
  const dom::CollectionPtr images = document.Images();
  if (!images) throw dom::DomError(dom::kErrorNullResult, "document has no images collection");
  // One image replaces one image, so the length and the ascending index stay valid.
  const long count = images->Length();
  for (long i = 0; i < count; ++i) {
    const dom::NodePtr image = images->Item(i);
    if (!image || !image->IsImage()) continue;
    image->SetOuterHtml(
        FormatFixedText(kBareImage, {EscapeHtml(image->Src(), kEscapeHrefAttribute),
                                     EscapeHtml(image->Alt(), kEscapeHrefAttribute)}));
  }
  return 1;
}

int FillEmptyLinks(dom::IDocument& document) {
  const dom::CollectionPtr links = document.Links();
  if (!links) return 0;
  const long count = links->Length();
  for (long i = 0; i < count; ++i) {
    const dom::NodePtr link = links->Item(i);
    if (!link || !link->IsAnchor()) continue;
    // Only links that show nothing need their address, which costs more to read than the content.
    if (!ShowsNothing(*link)) continue;
    // Escaped, so that the address shows exactly as text and never becomes markup.
    link->SetInnerHtml(EscapeHtml(link->Href(), kEscapeText));
  }
  return 1;
}

}  // namespace tavrin
