#include "anchors/refresh_anchor_list.h"

#include "anchors/anchor_collector.h"
#include "anchors/anchor_constants.h"
#include "anchors/anchor_listing.h"
#include "anchors/zero_on_failure.h"

namespace tavrin {
namespace {

void SetStatusText(const RefreshContext& context, const std::string& text) {
  if (context.setStatusText) context.setStatusText(text);
}

// One walk with a fresh collector; its tables go to the list.
void CollectFrom(dom::IDocument& document, bool bDomainOnly, std::string& list) {
  CAnchorCollector collector;
  collector.m_bDomainOnly = bDomainOnly;
  collector.Walk(document, 0);
  list += collector.m_strHtml;
}

int RunRefresh(const RefreshContext& context, const dom::DocumentPtr& mainDocument,
               dom::IDocument& viewDocument, std::string* anchorList) {
  const bool bDomainOnly = ReadDomainOnly(context);
  SetStatusText(context, kStatusParsing);

  std::string list;
  ForEachStartingDocument(context, mainDocument, [&](dom::IDocument& document) {
    CollectFrom(document, bDomainOnly, list);
  });

  ShowAnchorList(viewDocument, std::move(list), anchorList);
  SetStatusText(context, std::string());
  return 1;
}

}  // namespace

int ListAnchorsIntoView(const RefreshContext& context, const dom::DocumentPtr& mainDocument,
                        dom::IBrowser* viewBrowser, std::string* anchorList) {
  if (!viewBrowser) return 0;
  bool bStatusSet = false;
  const int result = ZeroOnFailure([&] {
    const dom::DocumentPtr viewDocument = viewBrowser->Document();
    if (!viewDocument) return 0;
    bStatusSet = true;
    return RunRefresh(context, mainDocument, *viewDocument, anchorList);
  });
  // A failed run leaves the view as it is, but does not leave the "parsing" text standing.
  if (!result && bStatusSet) {
    ZeroOnFailure([&] {
      SetStatusText(context, std::string());
      return 1;
    });
  }
  return result;
}

}  // namespace tavrin
