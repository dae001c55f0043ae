#include "anchors/anchor_listing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "anchors/anchor_constants.h"
#include "browserview/portable/html_document.h"
#include "fake_dom.h"

namespace tavrin {
namespace {

constexpr char kViewPage[] = "<html><head></head><body></body></html>";

// The documents of one page load, made afresh for every run: each run writes addresses back.
struct Site {
  using Documents = std::map<std::string, dom::DocumentPtr>;
  std::shared_ptr<Documents> documents = std::make_shared<Documents>();
  dom::DocumentPtr top;
  std::vector<dom::DocumentPtr> recorded;
};

using SiteMaker = Site (*)();

dom::DocumentPtr Page(const std::string& body, const std::string& url, Site& site) {
  auto document = dom::CHtmlDocument::Parse(
      "<!DOCTYPE html><html>" + body + "</html>", url, "UTF-8",
      [documents = std::weak_ptr(site.documents)](const std::string& frameUrl) {
        const auto loaded = documents.lock();
        const auto found = loaded->find(frameUrl);
        return found == loaded->end() ? nullptr : found->second;
      });
  (*site.documents)[url] = document;
  return document;
}

Site Frameset() {
  Site site;
  site.top = Page(
      "<frameset><frame src=\"a.html\"><frame src=\"b.html\"><frame src=\"gone.html\"></frameset>",
      "http://e.com/top.html", site);
  Page(
      "<body><a href=\"/a1\"><img src=\"i.png\" alt=\"A\"></a><a href=\"http://x.org/\">x</a>"
      "<a href=\"/a1\"><span>again</span></a></body>",
      "http://e.com/a.html", site);
  Page("<body><a href=\"javascript:void(0)\">js</a><a href=\"/b1\">b &amp; <b>c</b></a></body>",
       "http://e.com/b.html", site);
  site.recorded = {site.top, site.documents->at("http://e.com/a.html"), site.top};
  return site;
}

Site SinglePage() {
  Site site;
  site.top = Page("<body><a href=\"/x\">x</a><area href=\"/area\"><a href=\"/y\">y</a></body>",
                  "http://e.com/", site);
  site.recorded = {site.top};
  return site;
}

Site MainAlone() {
  Site site = Frameset();
  site.recorded.clear();
  return site;
}

RefreshContext Context(const Site& site, bool bDomainOnly, std::vector<std::string>* status) {
  return {.frameDocuments = site.recorded,
          .setStatusText = [status](const std::string& text) { status->push_back(text); },
          .readDomainOnly = [bDomainOnly] { return std::optional<std::uint32_t>(bDomainOnly); }};
}

// The tables written by the sink are those ListAnchorsIntoView puts into the view, on the same
// kind of page load, in every walk shape and with either setting.
TEST(ListAnchors, WritesTheListTheViewReceives) {
  for (const SiteMaker makeSite : {&Frameset, &SinglePage, &MainAlone}) {
    for (const bool bDomainOnly : {false, true}) {
      std::vector<std::string> barStatus, listStatus;
      const Site barSite = makeSite();
      auto view = dom::CHtmlDocument::Parse(kViewPage, "about:blank");
      dom::CHtmlBrowser viewBrowser(view);
      std::string expected;
      ASSERT_EQ(ListAnchorsIntoView(Context(barSite, bDomainOnly, &barStatus), barSite.top,
                                    &viewBrowser, &expected),
                1);

      const Site listSite = makeSite();
      std::string html;
      CAnchorTableWriter writer(html);
      EXPECT_EQ(ListAnchors(Context(listSite, bDomainOnly, &listStatus), listSite.top, writer), 1);
      EXPECT_EQ(html, expected) << bDomainOnly;
      EXPECT_EQ(listStatus, barStatus);
    }
  }
}

// Records what a sink is handed.
class CRecordingSink : public IAnchorSink {
 public:
  void OpenTable(const std::string& documentUrl) override { m_arrEvents.push_back(documentUrl); }
  void AddRow(const AnchorItem& item) override {
    m_arrEvents.push_back(item.href + " " + item.markup);
  }
  void CloseTable() override { m_arrEvents.push_back("close"); }
  std::vector<std::string> m_arrEvents;
};

TEST(ListAnchors, SinkSeesEachDocumentWithItsRowsAndItsAddressesWrittenBack) {
  Site site = Frameset();
  CRecordingSink sink;
  std::vector<std::string> status;
  EXPECT_EQ(ListAnchors(Context(site, true, &status), site.top, sink), 1);
  const std::vector<std::string> a = {
      "http://e.com/a.html",
      "http://e.com/a1 <img src=\"http://e.com/i.png\" alt=\"A\">",
      "http://e.com/a1 <span>again</span>",
      "close",
  };
  const std::vector<std::string> b = {"http://e.com/b.html", "http://e.com/b1 b &amp; <b>c</b>",
                                      "close"};
  // The top's walk with its frames, then the walk from the recorded frame; the top once.
  std::vector<std::string> expected = {"http://e.com/top.html", "close"};
  expected.insert(expected.end(), a.begin(), a.end());
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), a.begin(), a.end());
  EXPECT_EQ(sink.m_arrEvents, expected);
  EXPECT_EQ(status, (std::vector<std::string>{kStatusParsing, ""}));
}

// The parser itself nests links through these elements; each link's row shows only its own
// content, so the list stays linear in the page.
TEST(ListAnchors, NestedLinksAreCutFromTheOuterLinksMarkup) {
  for (const std::string wrap : {"td", "th", "caption", "marquee", "object", "applet"}) {
    const std::string inner = "<a href=\"/in\">inner</a>";
    const std::string holder = wrap == "td" || wrap == "th" ? "<table><tr><" + wrap + ">"
                               : wrap == "caption"          ? "<table><caption>"
                                                            : "<" + wrap + ">";
    Site site;
    site.top =
        Page("<body><a href=\"/out\">outer" + holder + inner + "</a>", "http://e.com/", site);
    CRecordingSink sink;
    std::vector<std::string> status;
    EXPECT_EQ(ListAnchors(Context(site, false, &status), site.top, sink), 1);
    EXPECT_EQ(sink.m_arrEvents, (std::vector<std::string>{"http://e.com/", "http://e.com/out outer",
                                                          "http://e.com/in inner", "close"}))
        << wrap;
  }

  constexpr int kLinks = 2000;
  std::string chain;
  for (int i = 0; i < kLinks; ++i) chain += "<a href=\"/" + std::to_string(i) + "\">x<marquee>";
  Site site;
  site.top = Page("<body>" + chain, "http://e.com/", site);
  std::string html;
  CAnchorTableWriter writer(html);
  std::vector<std::string> status;
  EXPECT_EQ(ListAnchors(Context(site, false, &status), site.top, writer), 1);
  EXPECT_LT(html.size(), kLinks * 200u);
}

// Writing the addresses back must not walk from a base element deep in the page to the root at
// every write: with such a base the run costs what it costs without one.
TEST(ListAnchors, ABaseDeepInThePageCostsNothingPerLink) {
  std::string page = "<body>";
  for (int i = 0; i < 30'000; ++i) page += "<b>";
  page += "BASE";
  for (int i = 0; i < 30'000; ++i) page += "<a href=\"" + std::to_string(i) + "\">x</a>";
  auto timeOfRun = [&](const std::string& base) {
    Site site;
    std::string html = page;
    site.top = Page(html.replace(html.find("BASE"), 4, base), "http://e.com/", site);
    std::vector<std::string> status;
    CRecordingSink sink;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ListAnchors(Context(site, false, &status), site.top, sink), 1);
    return std::chrono::steady_clock::now() - start;
  };
  const auto without = timeOfRun("");
  const auto with = timeOfRun("<base href=\"http://base.example/\">");
  EXPECT_LT(with, 5 * without + std::chrono::milliseconds(200));
}

TEST(ListAnchorsFailures, TableFailureEndsThatTableRunFailureEndsTheRun) {
  auto broken = fake::MakeDocument("http://e.com/broken");
  broken->failOn = {"Links"};
  Site site = SinglePage();
  site.recorded.insert(site.recorded.begin(), broken);
  CRecordingSink sink;
  std::vector<std::string> status;
  EXPECT_EQ(ListAnchors(Context(site, false, &status), site.top, sink), 1);
  EXPECT_EQ(sink.m_arrEvents.front(), "http://e.com/");  // nothing of the broken document

  auto walkFails = fake::MakeDocument("http://e.com/frames");
  std::static_pointer_cast<fake::Window>(walkFails->window)->failOn = {"FrameCount"};
  site.recorded = {walkFails};
  status.clear();
  EXPECT_EQ(ListAnchors(Context(site, false, &status), site.top, sink), 0);
  EXPECT_EQ(status.back(), "");
}

TEST(LinkText, TagsGoReferencesDecodeWhiteSpaceCollapses) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<B>News</B> &amp; more", "News & more"},
      {"  a\t\tb\n\r\fc  ", "a b c"},
      {"&lt;tag&gt; &quot;q&quot;", "<tag> \"q\""},
      {"&amp;lt; stays one level", "&lt; stays one level"},
      {"&nbsp; &unknown &", "&nbsp; &unknown &"},
      {"<img src=\"a.png\" alt=\"x\">", ""},
      {"日本<br>語", "日本語"},
      {"a<br> <span>b</span>", "a b"},
  };
  for (const auto& [markup, text] : cases) EXPECT_EQ(LinkText(markup), text) << markup;
}

}  // namespace
}  // namespace tavrin
