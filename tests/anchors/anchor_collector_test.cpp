#include "anchors/anchor_collector.h"

#include <gtest/gtest.h>

#include <regex>

#include "anchors/anchor_row.h"
#include "browserview/portable/html_document.h"
#include "fake_dom.h"

namespace tavrin {
namespace {

std::shared_ptr<dom::CHtmlDocument> Page(const std::string& body, const std::string& url) {
  return dom::CHtmlDocument::Parse("<!DOCTYPE html><html><body>" + body + "</body></html>", url);
}

std::string Table(dom::IDocument& document, bool bDomainOnly = false) {
  CAnchorCollector collector;
  collector.m_bDomainOnly = bDomainOnly;
  std::string table;
  EXPECT_EQ(collector.BuildAnchorTable(document, table), 1);
  return table;
}

// The HREF values of a list's rows, in order.
std::vector<std::string> Hrefs(const std::string& list) {
  std::vector<std::string> hrefs;
  const std::regex href("<A HREF=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), href); it != std::sregex_iterator();
       ++it) {
    hrefs.push_back((*it)[1]);
  }
  return hrefs;
}

std::string Row(const std::string& href, const std::string& markup, RowParity parity) {
  return FormatAnchorRow({href, markup}, parity);
}

const char kHostLinks[] =
    "<a href=\"https://www.example.com/a\">scheme</a>"
    "<a href=\"http://www.example.com:8080/b\">port</a>"
    "<a href=\"http://WWW.Example.COM/c\">case</a>"
    "<a href=\"http://user:pw@www.example.com/d?q#f\">user</a>"
    "<a href=\"/e\">relative</a>"
    "<a href=\"http://sub.www.example.com/f\">subdomain</a>"
    "<a href=\"http://example.com/g\">parent</a>"
    "<a href=\"http://other.example/h\">other</a>";

TEST(AnchorTable, DomainRuleComparesHostsOnly) {
  const auto page = Page(kHostLinks, "http://www.example.com:81/dir/page.html");
  EXPECT_EQ(
      Hrefs(Table(*page, true)),
      (std::vector<std::string>{"https://www.example.com/a", "http://www.example.com:8080/b",
                                "http://www.example.com/c", "http://user:pw@www.example.com/d?q#f",
                                "http://www.example.com:81/e"}));
  EXPECT_EQ(Hrefs(Table(*page, false)).size(), 8u);
}

TEST(AnchorTable, DomainRuleListsNothingOnNonHttpDocuments) {
  for (const char* url : {"file:///home/user/page.html", "about:blank"}) {
    const auto page = Page("<a href=\"http://www.example.com/a\">a</a>", url);
    EXPECT_EQ(Table(*page, true), "<TABLE WIDTH=\"100%\"></TABLE>") << url;
    EXPECT_EQ(Hrefs(Table(*page, false)).size(), 1u) << url;
  }
}

TEST(AnchorTable, OnlyHttpAnchorsAreListed) {
  const auto page = Page(
      "<img usemap=\"#m\" src=\"map.png\"><map name=\"m\"><area href=\"http://e.com/area\"></map>"
      "<a href=\"javascript:alert(1)\">j</a><a href=\"mailto:x@e.com\">m</a>"
      "<a href=\"ftp://e.com/f\">f</a><a href=\"file:///etc/passwd\">file</a><a name=\"n\">name</a>"
      "<a href=\"http://e.com/same\">1</a><a href=\"http://e.com/same\">2</a>",
      "http://e.com/");
  EXPECT_EQ(Hrefs(Table(*page)),
            (std::vector<std::string>{"http://e.com/same", "http://e.com/same"}));
}

TEST(AnchorTable, EmptyTableAndRowParity) {
  EXPECT_EQ(Table(*Page("no links", "http://e.com/")), "<TABLE WIDTH=\"100%\"></TABLE>");
  EXPECT_EQ(Table(*Page("<a href=\"a\">A</a><a href=\"mailto:m\">M</a><a href=\"b\">B</a>"
                        "<a href=\"c\">C</a>",
                        "http://e.com/")),
            std::string("<TABLE WIDTH=\"100%\">") + Row("http://e.com/a", "A", RowParity::First) +
                Row("http://e.com/b", "B", RowParity::Second) +
                Row("http://e.com/c", "C", RowParity::First) + "</TABLE>");
}

TEST(AnchorTable, AddressesAreResolvedAndWrittenBack) {
  const auto page = Page(
      "<img id=\"outside\" src=\"pics/out.png\">"
      "<a href=\"../x.html?a=1&amp;b=2\"><img src=\"pics/in.png\" alt=\"In\"> text</a>",
      "http://e.com/dir/page.html");
  ResolveImageSources(*page);
  const std::string table = Table(*page);
  EXPECT_NE(table.find("HREF=\"http://e.com/x.html?a=1&amp;b=2\" title=\" text\">"
                       "<img src=\"http://e.com/dir/pics/in.png\" alt=\"In\"> text</A>"),
            std::string::npos)
      << table;
  const std::string serialized = page->Serialize();
  EXPECT_NE(serialized.find("src=\"http://e.com/dir/pics/out.png\""), std::string::npos);
  EXPECT_NE(serialized.find("href=\"http://e.com/x.html?a=1&amp;b=2\""), std::string::npos);
  // A second run over the rewritten page gives the same table.
  ResolveImageSources(*page);
  EXPECT_EQ(Table(*page), table);
}

TEST(AnchorTable, LinkWithoutShowableContentShowsItsAddress) {
  const auto page = Page("<a href=\"/?a=1&amp;b=2\"></a><a href=\"/s\"><script>x()</script></a>",
                         "http://e.com/");
  const std::string table = Table(*page);
  // The address as text: & is an entity in the markup and stays one in the title.
  EXPECT_NE(table.find("<A HREF=\"http://e.com/?a=1&amp;b=2\" title=\"http://e.com/?a=1&amp;b=2\">"
                       "http://e.com/?a=1&amp;b=2</A>"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find(">http://e.com/s</A>"), std::string::npos) << table;
}

TEST(AnchorTable, RawAddressAsMarkupIsEscapedText) {
  // A platform may hand out addresses with raw markup characters (MSHTML does not encode them).
  auto document = fake::MakeDocument("http://e.com/");
  auto link = std::make_shared<fake::Node>();
  link->tagName = "A";
  link->isAnchor = true;
  link->href = "http://e.com/?q=<img src=x onerror=alert(1)>\"";
  std::static_pointer_cast<fake::Collection>(document->links)->items = {link};
  std::string table;
  EXPECT_EQ(CAnchorCollector().BuildAnchorTable(*document, table), 1);
  EXPECT_NE(table.find("<A HREF=\"http://e.com/?q=<img src=x onerror=alert(1)>&quot;\" "
                       "title=\"http://e.com/?q=&lt;img src=x onerror=alert(1)&gt;&quot;\">"
                       "http://e.com/?q=&lt;img src=x onerror=alert(1)&gt;\"</A>"),
            std::string::npos)
      << table;
}

TEST(AnchorTable, TextOutsideAnyLegacyCodePageSurvives) {
  const auto page = Page("<a href=\"http://e.com/\">한국어 😀</a>", "http://e.com/");
  EXPECT_NE(Table(*page).find("title=\"한국어 😀\">한국어 😀</A>"), std::string::npos);
}

TEST(AnchorCollector, VisitsEachAddressOnceIgnoringAsciiCase) {
  const auto upper = Page("<a href=\"/1\">1</a>", "http://e.com/Page");
  const auto lower = Page("<a href=\"/2\">2</a>", "http://e.com/page");
  CAnchorCollector collector;
  collector.m_bDomainOnly = true;
  EXPECT_EQ(collector.VisitDocument(*upper, 0), 1);
  EXPECT_EQ(collector.VisitDocument(*lower, 0), 1);
  EXPECT_EQ(collector.m_arrVisitedUrls, std::vector<std::string>{"http://e.com/Page"});
  EXPECT_EQ(Hrefs(collector.m_strHtml), std::vector<std::string>{"http://e.com/1"});

  collector.Begin();
  EXPECT_TRUE(collector.m_strHtml.empty());
  EXPECT_TRUE(collector.m_arrVisitedUrls.empty());
  EXPECT_TRUE(collector.m_bDomainOnly);
  collector.VisitDocument(*lower, 0);
  EXPECT_EQ(Hrefs(collector.m_strHtml), std::vector<std::string>{"http://e.com/2"});
}

// ---- Aborting failures, on stand-ins ----------------------------------------------------------

std::shared_ptr<fake::Node> FakeAnchor(const std::string& href, const std::string& text) {
  auto text_node = std::make_shared<fake::Node>();
  text_node->type = dom::NodeType::Text;
  text_node->isElement = false;
  text_node->data = text;
  auto node = std::make_shared<fake::Node>();
  node->tagName = "A";
  node->isAnchor = true;
  node->href = href;
  node->children = {text_node};
  return node;
}

std::shared_ptr<fake::Document> FakePage(std::vector<dom::NodePtr> links) {
  auto document = fake::MakeDocument("http://e.com/");
  std::static_pointer_cast<fake::Collection>(document->links)->items = std::move(links);
  return document;
}

TEST(AnchorTableFailures, NoLinksCollectionGivesNothing) {
  auto document = FakePage({});
  document->failOn = {"Links"};
  std::string table = "stale";
  EXPECT_EQ(CAnchorCollector().BuildAnchorTable(*document, table), 0);
  EXPECT_EQ(table, "");

  document->failOn.clear();
  document->links = nullptr;
  CAnchorCollector collector;
  EXPECT_EQ(collector.VisitDocument(*document, 0), 1);
  EXPECT_EQ(collector.m_strHtml, "");
  EXPECT_EQ(collector.m_arrVisitedUrls.size(), 1u);
}

TEST(AnchorTableFailures, FailureEndsTheTableAndKeepsItsRows) {
  auto area = FakeAnchor("http://e.com/area", "area");  // absences are skipped, not failures
  area->isAnchor = false;
  auto noElement = FakeAnchor("http://e.com/x", "x");
  noElement->isElement = false;
  auto broken = FakeAnchor("http://e.com/2", "two");
  const std::string opening = "<TABLE WIDTH=\"100%\">";
  for (const char* operation : {"Href", "SetHref", "ChildNodes"}) {
    broken->failOn = {operation};
    auto document = FakePage({nullptr, area, noElement, FakeAnchor("http://e.com/1", "one"), broken,
                              FakeAnchor("http://e.com/3", "three")});
    CAnchorCollector collector;
    std::string table;
    EXPECT_EQ(collector.BuildAnchorTable(*document, table), 0) << operation;
    EXPECT_EQ(table, opening + Row("http://e.com/1", "one", RowParity::First)) << operation;
    collector.VisitDocument(*document, 0);
    EXPECT_EQ(collector.m_strHtml, table) << operation;
  }
  broken->failOn.clear();
  broken->exhaustOn = {"Href"};
  std::string table;
  EXPECT_EQ(CAnchorCollector().BuildAnchorTable(*FakePage({broken}), table), 0);
  EXPECT_EQ(table, opening);
}

TEST(ResolveImageSourcesFailures, FailureEndsOnlyThePass) {
  auto document = FakePage({FakeAnchor("http://e.com/1", "one")});
  auto images = std::static_pointer_cast<fake::Collection>(document->images);
  auto good = std::make_shared<fake::Node>();
  good->isImage = true;
  good->src = "http://e.com/i.png";
  auto notImage = std::make_shared<fake::Node>();
  notImage->failOn = {"Src", "SetSrc"};
  images->items = {nullptr, notImage, good};
  EXPECT_EQ(ResolveImageSources(*document), 1);

  good->failOn = {"SetSrc"};
  EXPECT_EQ(ResolveImageSources(*document), 0);
  document->images = nullptr;
  EXPECT_EQ(ResolveImageSources(*document), 0);
  document->failOn = {"Images"};
  EXPECT_EQ(ResolveImageSources(*document), 0);

  CAnchorCollector collector;
  collector.VisitDocument(*document, 0);
  EXPECT_EQ(Hrefs(collector.m_strHtml), std::vector<std::string>{"http://e.com/1"});
}

}  // namespace
}  // namespace tavrin
