#include "anchors/anchor_collector.h"

#include "anchors/anchor_listing.h"
#include "anchors/zero_on_failure.h"

namespace tavrin {

void CAnchorCollector::Begin() {
  m_strHtml.clear();
  m_arrVisitedUrls.clear();
}

int CAnchorCollector::VisitDocument(dom::IDocument& document, int /*context*/) {
  if (!MarkVisited(document, m_arrVisitedUrls)) return 1;
  ResolveImageSources(document);
  std::string table;
  BuildAnchorTable(document, table);
  m_strHtml += table;
  return 1;
}

int CAnchorCollector::BuildAnchorTable(dom::IDocument& document, std::string& table) {
  table.clear();
  CAnchorTableWriter writer(table);
  return ListDocumentAnchors(document, m_bDomainOnly, writer);
}

int ResolveImageSources(dom::IDocument& document) {
  return ZeroOnFailure([&] {
    const dom::CollectionPtr images = document.Images();
    if (!images) return 0;
    const long count = images->Length();
    for (long i = 0; i < count; ++i) {
      const dom::NodePtr image = images->Item(i);
      if (!image || !image->IsImage()) continue;
      image->SetSrc(image->Src());
    }
    return 1;
  });
}

}  // namespace tavrin
