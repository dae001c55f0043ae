#include "anchors/anchor_collector.h"

#include <algorithm>
#include <new>

#include "anchors/anchor_constants.h"
#include "anchors/anchor_row.h"
#include "anchors/html_escape.h"
#include "anchors/markup_sanitizer.h"
#include "browserview/ascii_case.h"
#include "browserview/http_host.h"

// Addresses and hosts compare with ASCII case folding: hosts are lower-case punycode and the
// model's addresses percent-encoded, so only an address holding raw non-ASCII letters that
// differ in case alone would count as another address.

namespace tavrin {

void CAnchorCollector::Begin() {
  m_strHtml.clear();
  m_arrVisitedUrls.clear();
}

int CAnchorCollector::VisitDocument(dom::IDocument& document, int /*context*/) {
  std::string url = document.Url();
  const bool bVisited = std::any_of(
      m_arrVisitedUrls.begin(), m_arrVisitedUrls.end(),
      [&](const std::string& visited) { return EqualsIgnoringAsciiCase(visited, url); });
  if (bVisited) return 1;
  m_arrVisitedUrls.push_back(std::move(url));

  ResolveImageSources(document);
  std::string table;
  BuildAnchorTable(document, table);
  m_strHtml += table;
  return 1;
}

int CAnchorCollector::BuildAnchorTable(dom::IDocument& document, std::string& table) {
  try {
    std::string pageHost;
    if (!GetHttpHost(document.Url(), pageHost)) pageHost.clear();

    table.clear();
    const dom::CollectionPtr links = document.Links();
    if (!links) throw dom::DomError(kErrorNullResult, "document has no links collection");
    const long count = links->Length();
    table += kTableOpening;

    RowParity parity = RowParity::First;
    for (long i = 0; i < count; ++i) {
      const dom::NodePtr link = links->Item(i);
      if (!link || !link->IsAnchor()) continue;  // AREA elements have no anchor interface

      const std::string href = link->Href();
      link->SetHref(href);

      std::string linkHost;
      if (!GetHttpHost(href, linkHost)) continue;  // javascript:, mailto:, ftp:, file:, ...
      // A page without an http host (a local file, about:blank) matches no link.
      if (m_bDomainOnly && (pageHost.empty() || !EqualsIgnoringAsciiCase(pageHost, linkHost))) {
        continue;
      }
      if (!link->IsElement()) continue;

      std::string markup = SanitizeLinkMarkup(*link);
      if (markup.empty()) markup = EscapeHtml(href, kEscapeText);
      table += FormatAnchorRow({href, std::move(markup)}, parity);
      parity = Flip(parity);
    }
    table += kTableClosing;
    return 1;
  } catch (const dom::DomError&) {
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int ResolveImageSources(dom::IDocument& document) {
  try {
    const dom::CollectionPtr images = document.Images();
    if (!images) return 0;
    const long count = images->Length();
    for (long i = 0; i < count; ++i) {
      const dom::NodePtr image = images->Item(i);
      if (!image || !image->IsImage()) continue;
      image->SetSrc(image->Src());
    }
    return 1;
  } catch (const dom::DomError&) {
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace tavrin
