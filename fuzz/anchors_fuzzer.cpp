// libFuzzer target over the portable pipeline: the input's pages are decoded, parsed, walked
// with their frames and listed, and the list is put into a view and cleaned up, as a run of the
// bar does.
//
// The input is the top page, optionally followed by frame pages, each after a line
// "<!--next-->"; the page after the N-th such line is served for http://fuzz.example/N.html.
// Any other frame address has no document. An input of odd length runs with DomainOnly on.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "anchors/anchor_listing.h"
#include "anchors/refresh_anchor_list.h"
#include "browserview/portable/html_document.h"
#include "browserview/portable/text_encoding.h"

namespace {

using namespace tavrin;

constexpr std::string_view kSeparator = "\n<!--next-->\n";
constexpr char kSite[] = "http://fuzz.example/";

std::vector<std::string_view> Pages(std::string_view input) {
  std::vector<std::string_view> pages;
  for (std::size_t at; (at = input.find(kSeparator)) != std::string_view::npos;) {
    pages.push_back(input.substr(0, at));
    input.remove_prefix(at + kSeparator.size());
  }
  pages.push_back(input);
  return pages;
}

// Serves the input's pages as the documents of one site, each parsed once.
class CSite {
 public:
  CSite(std::string_view input, std::shared_ptr<CRunBudget> budget)
      : m_arrPages(Pages(input)), m_pBudget(std::move(budget)) {}

  dom::DocumentPtr Load(std::size_t index) {
    if (auto found = m_mapDocuments.find(index); found != m_mapDocuments.end())
      return found->second;
    m_mapDocuments[index] = nullptr;  // a page framing itself while it loads gets nothing
    m_pBudget->ChargeRead(m_arrPages[index].size());
    std::optional<text::DecodedHtml> decoded = text::DecodeHtml(m_arrPages[index]);
    if (!decoded) return nullptr;
    dom::DocumentPtr document = dom::CHtmlDocument::Parse(
        decoded->utf8, std::string(kSite) + std::to_string(index) + ".html", decoded->encoding,
        [this](const std::string& url) { return Frame(url); }, m_pBudget);
    m_mapDocuments[index] = document;
    return document;
  }

  std::vector<dom::DocumentPtr> Documents() const {
    std::vector<dom::DocumentPtr> documents;
    for (const auto& [index, document] : m_mapDocuments) documents.push_back(document);
    return documents;
  }

 private:
  dom::DocumentPtr Frame(const std::string& url) {
    if (!url.starts_with(kSite) || !url.ends_with(".html")) return nullptr;
    const std::string number = url.substr(sizeof kSite - 1, url.size() - sizeof kSite + 1 - 5);
    if (number.empty() || number.size() > 3 ||
        number.find_first_not_of("0123456789") != std::string::npos)
      return nullptr;
    const std::size_t index = std::stoul(number);
    return index < m_arrPages.size() ? Load(index) : nullptr;
  }

  std::vector<std::string_view> m_arrPages;
  std::shared_ptr<CRunBudget> m_pBudget;
  std::map<std::size_t, dom::DocumentPtr> m_mapDocuments;
};

void Run(std::string_view input) {
  auto budget = std::make_shared<CRunBudget>();
  CSite site(input, budget);
  const dom::DocumentPtr top = site.Load(0);
  const bool bDomainOnly = input.size() % 2 == 1;
  const RefreshContext context{
      .frameDocuments = site.Documents(),
      .setStatusText = [](const std::string&) {},
      .readDomainOnly = [bDomainOnly] { return std::optional<std::uint32_t>(bDomainOnly); },
  };
  std::string list;
  CAnchorTableWriter writer(list);
  ListAnchors(context, top, writer);
  budget->ChargeList(list.size());

  auto view = dom::CHtmlDocument::Parse("<html><head></head><body></body></html>", "about:blank",
                                        "UTF-8", {}, budget);
  dom::CHtmlBrowser viewBrowser(view);
  ListAnchorsIntoView(context, top, &viewBrowser);
  view->Serialize();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    Run(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const CBudgetExceeded&) {
    // A page over the budget is refused, which is the expected outcome for some inputs.
  }
  return 0;
}
