#include "anchors/anchor_listing.h"

#include <algorithm>
#include <unordered_set>

#include "anchors/anchor_collector.h"
#include "anchors/anchor_constants.h"
#include "anchors/html_escape.h"
#include "anchors/markup_sanitizer.h"
#include "anchors/view_cleanup.h"
#include "anchors/zero_on_failure.h"
#include "browserview/ascii_case.h"
#include "browserview/http_host.h"

// Addresses and hosts compare with ASCII case folding: hosts are lower-case punycode and the
// model's addresses percent-encoded, so only an address holding raw non-ASCII letters that
// differ in case alone would count as another address.

namespace tavrin {
namespace {

// A walk of the list into a sink: CAnchorCollector's visits, without the HTML in between.
class CAnchorLister : public CDocumentVisitor {
 public:
  CAnchorLister(bool bDomainOnly, IAnchorSink& sink) : m_bDomainOnly(bDomainOnly), m_sink(sink) {}

  void Begin() override { m_arrVisitedUrls.clear(); }
  int VisitDocument(dom::IDocument& document, int /*context*/) override {
    if (!MarkVisited(document, m_arrVisitedUrls)) return 1;
    ResolveImageSources(document);
    ListDocumentAnchors(document, m_bDomainOnly, m_sink);
    return 1;
  }

 private:
  bool m_bDomainOnly;
  IAnchorSink& m_sink;
  std::vector<std::string> m_arrVisitedUrls;
};

}  // namespace

void CAnchorTableWriter::OpenTable(const std::string& /*documentUrl*/) {
  m_strHtml += kTableOpening;
  m_parity = RowParity::First;
}

void CAnchorTableWriter::AddRow(const AnchorItem& item) {
  m_strHtml += FormatAnchorRow(item, m_parity);
  m_parity = Flip(m_parity);
}

void CAnchorTableWriter::CloseTable() {
  m_strHtml += kTableClosing;
}

int ListDocumentAnchors(dom::IDocument& document, bool bDomainOnly, IAnchorSink& sink) {
  return ZeroOnFailure([&] {
    const std::string url = document.Url();
    std::string pageHost;
    if (!GetHttpHost(url, pageHost)) pageHost.clear();

    const dom::CollectionPtr links = document.Links();
    if (!links) throw dom::DomError(dom::kErrorNullResult, "document has no links collection");
    const long count = links->Length();
    sink.OpenTable(url);

    std::string linkHost;
    for (long i = 0; i < count; ++i) {
      const dom::NodePtr link = links->Item(i);
      if (!link || !link->IsAnchor()) continue;  // AREA elements have no anchor interface

      std::string href = link->Href();
      link->SetHref(href);

      if (!GetHttpHost(href, linkHost)) continue;  // javascript:, mailto:, ftp:, file:, ...
      // A page without an http host (a local file, about:blank) matches no link.
      if (bDomainOnly && (pageHost.empty() || !EqualsIgnoringAsciiCase(pageHost, linkHost))) {
        continue;
      }
      if (!link->IsElement()) continue;

      std::string markup = SanitizeLinkMarkup(*link);
      if (markup.empty()) markup = EscapeHtml(href, kEscapeText);
      sink.AddRow({std::move(href), std::move(markup)});
    }
    sink.CloseTable();
    return 1;
  });
}

bool MarkVisited(dom::IDocument& document, std::vector<std::string>& visited) {
  std::string url = document.Url();
  const bool bVisited = std::any_of(visited.begin(), visited.end(), [&](const std::string& seen) {
    return EqualsIgnoringAsciiCase(seen, url);
  });
  if (bVisited) return false;
  visited.push_back(std::move(url));
  return true;
}

bool ReadDomainOnly(const RefreshContext& context) {
  std::optional<std::uint32_t> domainOnly;
  if (context.readDomainOnly) domainOnly = context.readDomainOnly();
  return domainOnly.value_or(0) != 0;
}

void ForEachStartingDocument(const RefreshContext& context, const dom::DocumentPtr& mainDocument,
                             const std::function<void(dom::IDocument&)>& walk) {
  std::unordered_set<std::string> startedUrls;
  for (const dom::DocumentPtr& document : context.frameDocuments) {
    if (!document) continue;
    if (!startedUrls.insert(document->Url()).second) continue;
    walk(*document);
  }
  if (mainDocument && !startedUrls.contains(mainDocument->Url())) walk(*mainDocument);
}

int ListAnchors(const RefreshContext& context, const dom::DocumentPtr& mainDocument,
                IAnchorSink& sink) {
  const int result = ZeroOnFailure([&] {
    const bool bDomainOnly = ReadDomainOnly(context);
    if (context.setStatusText) context.setStatusText(kStatusParsing);
    // One lister serves every walk: Walk begins each one afresh, as a new collector would.
    CAnchorLister lister(bDomainOnly, sink);
    ForEachStartingDocument(context, mainDocument,
                            [&](dom::IDocument& document) { lister.Walk(document, 0); });
    return 1;
  });
  if (context.setStatusText) context.setStatusText(std::string());
  return result;
}

void ShowAnchorList(dom::IDocument& viewDocument, std::string list, std::string* anchorList) {
  const dom::NodePtr body = viewDocument.Body();
  if (!body) throw dom::DomError(dom::kErrorNullResult, "view document has no body");
  body->SetInnerHtml(list);
  // The view holds the list now; its text goes before the clean-up needs memory.
  if (anchorList) *anchorList = std::move(list);
  list = std::string();

  CleanUpViewDocument(viewDocument);
  if (const dom::WindowPtr window = viewDocument.ParentWindow()) {
    window->ScrollTo(kScrollHome, kScrollHome);
  }
}

std::string LinkText(std::string_view markup) {
  // The list escapes a link's text with EscapeHtml, so these are all the references it holds.
  static constexpr std::pair<std::string_view, char> kReferences[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
  const std::string stripped = StripTags(markup);
  std::string text;
  text.reserve(stripped.size());
  bool bPendingSpace = false;
  for (std::size_t i = 0; i < stripped.size(); ++i) {
    char c = stripped[i];
    if (IsAsciiWhitespace(c)) {
      bPendingSpace = !text.empty();
      continue;
    }
    if (c == '&') {
      const std::string_view rest = std::string_view(stripped).substr(i);
      for (const auto& [reference, character] : kReferences) {
        if (!rest.starts_with(reference)) continue;
        c = character;
        i += reference.size() - 1;
        break;
      }
    }
    if (bPendingSpace) text += ' ';
    bPendingSpace = false;
    text += c;
  }
  return text;
}

}  // namespace tavrin
