// The visitor that turns every visited document into one table of the anchor list,
// and the image pass that runs before it.
#pragma once

#include <string>
#include <vector>

#include "anchors/document_visitor.h"

namespace tavrin {

class CAnchorCollector : public CDocumentVisitor {
 public:
  // Empties m_strHtml and m_arrVisitedUrls; m_bDomainOnly stays.
  void Begin() override;
  // Once per address (ASCII case folded): resolves the images, then appends the document's
  // table to m_strHtml, also when the table was ended early. Returns 1.
  int VisitDocument(dom::IDocument& document, int context) override;

  // The document's table: one row per A link with an http or https address (on the document's
  // own host when m_bDomainOnly). 1 when complete; 0 when a model failure or exhausted memory
  // ended it, `table` then holding what was built (without the closing).
  int BuildAnchorTable(dom::IDocument& document, std::string& table);

  std::string m_strHtml;                      // tables since the last Begin, in visiting order
  std::vector<std::string> m_arrVisitedUrls;  // addresses visited since the last Begin
  bool m_bDomainOnly = false;                 // set by the creator before the walk
};

// Writes every image's resolved address back to its src, so that the links' markup carries
// absolute addresses. 1, or 0 when the document has no image collection or a model failure or
// exhausted memory ended the pass.
int ResolveImageSources(dom::IDocument& document);

}  // namespace tavrin
