#include "anchors/refresh_anchor_list.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "anchors/anchor_constants.h"
#include "anchors/anchor_row.h"
#include "browserview/portable/html_document.h"
#include "fake_dom.h"

namespace tavrin {
namespace {

constexpr char kViewPage[] =
    "<html><head><meta charset=\"utf-8\"></head><body leftmargin=\"0\">old list</body></html>";
constexpr char kEmptyTable[] = "<TABLE WIDTH=\"100%\"></TABLE>";

std::shared_ptr<dom::CHtmlDocument> Page(const std::string& body, const std::string& url,
                                         dom::FrameLoader loader = {}) {
  return dom::CHtmlDocument::Parse("<!DOCTYPE html><html>" + body + "</html>", url, "UTF-8",
                                   std::move(loader));
}

// A run of the bar: the view, the recorded status texts and the list handed to the view.
struct BarRun {
  std::shared_ptr<dom::CHtmlDocument> view = dom::CHtmlDocument::Parse(kViewPage, "about:blank");
  dom::CHtmlBrowser viewBrowser{view};
  std::vector<std::string> statusTexts;
  std::optional<std::uint32_t> domainOnly;
  std::string anchorList = "untouched";

  int operator()(std::vector<dom::DocumentPtr> frameDocuments, const dom::DocumentPtr& main,
                 dom::IBrowser* browser = nullptr) {
    const RefreshContext context{
        .frameDocuments = std::move(frameDocuments),
        .setStatusText = [this](const std::string& text) { statusTexts.push_back(text); },
        .readDomainOnly = [this] { return domainOnly; },
    };
    return ListAnchorsIntoView(context, main, browser ? browser : &viewBrowser, &anchorList);
  }
  std::string Body() const { return view->Body()->InnerHtml(); }
};

// The row hrefs of each table of a list.
std::vector<std::vector<std::string>> Tables(const std::string& list) {
  std::vector<std::vector<std::string>> tables;
  const std::regex token("<TABLE WIDTH=\"100%\">|<A HREF=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), token);
       it != std::sregex_iterator(); ++it) {
    if ((*it)[1].matched)
      tables.back().push_back((*it)[1]);
    else
      tables.emplace_back();
  }
  return tables;
}

using TableList = std::vector<std::vector<std::string>>;

TEST(ListAnchorsIntoView, PutsTheListIntoTheViewAndCleansItUp) {
  const auto page = Page(
      "<body><a href=\"/one\"><font color=\"red\">One</font></a>"
      "<a href=\"/two\"><span>Two</span></a></body>",
      "http://e.com/index.html");
  BarRun run;
  EXPECT_EQ(run({}, page), 1);
  EXPECT_EQ(
      run.anchorList,
      "<TABLE WIDTH=\"100%\">"
      "<TR><TD width=\"0%\" nowrap>・</TD><TD width=\"100%\" BGCOLOR=\"#FFFFE0\" nowrap>"
      "<A HREF=\"http://e.com/one\" title=\"One\"><font color=\"red\">One</font></A></TD></TR>"
      "<TR><TD width=\"0%\" nowrap>・</TD><TD width=\"100%\" BGCOLOR=\"#E0EEEE\" nowrap>"
      "<A HREF=\"http://e.com/two\" title=\"Two\"><span>Two</span></A></TD></TR>"
      "</TABLE>");
  const std::string body = run.Body();
  EXPECT_NE(body.find("title=\"One\">One</a>"), std::string::npos) << body;
  EXPECT_NE(body.find("title=\"Two\">http://e.com/two</a>"), std::string::npos) << body;
  EXPECT_EQ(body.find("old list"), std::string::npos);
  EXPECT_NE(run.view->Serialize().find("<body leftmargin=\"0\">"), std::string::npos);
  EXPECT_EQ(run.view->Scrolls(), (std::vector<std::pair<long, long>>{{-2000, -2000}}));
  EXPECT_EQ(run.statusTexts,
            (std::vector<std::string>{"HTMLを解析しています。しばらくお待ちください。", ""}));
}

TEST(ListAnchorsIntoView, WithoutViewDocumentNothingHappens) {
  BarRun run;
  const auto page = Page("<body><a href=\"/x\">x</a></body>", "http://e.com/");
  EXPECT_EQ(ListAnchorsIntoView({}, page, nullptr), 0);

  dom::CHtmlBrowser noDocument(nullptr);
  EXPECT_EQ(run({page}, page, &noDocument), 0);
  EXPECT_TRUE(run.statusTexts.empty());
  EXPECT_EQ(run.anchorList, "untouched");
}

TEST(ListAnchorsIntoView, NoDocumentsGiveAnEmptyBody) {
  BarRun run;
  EXPECT_EQ(run({nullptr}, nullptr), 1);
  EXPECT_EQ(run.anchorList, "");
  EXPECT_EQ(run.Body(), "");
}

TEST(ListAnchorsIntoView, StartedDocumentsAreWalkedOnce) {
  const auto page = Page("<body><a href=\"/x\">x</a></body>", "http://e.com/");
  const auto other = Page("<body>no links</body>", "http://e.com/other");
  BarRun run;
  EXPECT_EQ(run({nullptr, page, other, page}, page), 1);
  EXPECT_EQ(Tables(run.anchorList), (TableList{{"http://e.com/x"}, {}}));
  EXPECT_TRUE(run.anchorList.ends_with(kEmptyTable));
}

class Frameset : public ::testing::Test {
 protected:
  Frameset() {
    for (const char* name : {"a", "b", "c"}) {
      const std::string url = std::string("http://e.com/") + name + ".html";
      m_frames[url] = Page(std::string("<body><a href=\"/") + name + "1\">1</a><a href=\"/" + name +
                               "2\">2</a><a href=\"/" + name + "3\">3</a></body>",
                           url);
    }
    m_top = Page(
        "<frameset cols=\"*,*,*\"><frame src=\"a.html\"><frame src=\"b.html\">"
        "<frame src=\"http://elsewhere.example/refused.html\"><frame src=\"c.html\">"
        "</frameset>",
        "http://e.com/top.html", [this](const std::string& url) -> dom::DocumentPtr {
          const auto found = m_frames.find(url);
          return found == m_frames.end() ? nullptr : found->second;
        });
  }
  dom::DocumentPtr Frame(const char* name) {
    return m_frames[std::string("http://e.com/") + name + ".html"];
  }
  std::vector<std::string> Rows(const char* name) {
    const std::string prefix = std::string("http://e.com/") + name;
    return {prefix + "1", prefix + "2", prefix + "3"};
  }

  std::map<std::string, dom::DocumentPtr> m_frames;
  dom::DocumentPtr m_top;
};

TEST_F(Frameset, MainDocumentAloneListsItsDirectFrames) {
  BarRun run;
  EXPECT_EQ(run({}, m_top), 1);
  EXPECT_EQ(Tables(run.anchorList), (TableList{{}, Rows("a"), Rows("b"), Rows("c")}));
  // Every table starts again with the first parity.
  const std::regex colour("BGCOLOR=\"(#[0-9A-F]+)\"");
  std::vector<std::string> colours;
  for (auto it = std::sregex_iterator(run.anchorList.begin(), run.anchorList.end(), colour);
       it != std::sregex_iterator(); ++it) {
    colours.push_back((*it)[1]);
  }
  const std::vector<std::string> perTable{"#FFFFE0", "#E0EEEE", "#FFFFE0"};
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), perTable.begin(), perTable.end());
  EXPECT_EQ(colours, expected);
}

TEST_F(Frameset, RecordedFramesAreListedTwice) {
  BarRun run;
  EXPECT_EQ(run({m_top, Frame("a"), Frame("b")}, m_top), 1);
  EXPECT_EQ(Tables(run.anchorList),
            (TableList{{}, Rows("a"), Rows("b"), Rows("c"), Rows("a"), Rows("b")}));
}

TEST(ListAnchorsIntoView, DomainOnlyIsReadAtEveryRun) {
  const auto page =
      Page("<body><a href=\"/in\">in</a><a href=\"http://other.example/\">out</a></body>",
           "http://e.com/");
  BarRun run;
  for (const auto& [value, count] :
       std::vector<std::pair<std::optional<std::uint32_t>, std::size_t>>{
           {std::nullopt, 2}, {0, 2}, {1, 1}, {7, 1}}) {
    run.domainOnly = value;
    EXPECT_EQ(run({}, page), 1);
    EXPECT_EQ(Tables(run.anchorList).at(0).size(), count) << value.value_or(99);
  }
  EXPECT_EQ(ListAnchorsIntoView({}, page, &run.viewBrowser, &run.anchorList), 1);
  EXPECT_EQ(Tables(run.anchorList).at(0).size(), 2u);
}

// ---- Aborting failures, on stand-ins ----------------------------------------------------------

TEST(ListAnchorsIntoViewFailures, LinksFailureEndsOnlyThatTable) {
  const auto page = Page("<body><a href=\"/x\">x</a></body>", "http://e.com/");
  auto broken = fake::MakeDocument("http://e.com/broken");
  broken->failOn = {"Links"};
  BarRun run;
  EXPECT_EQ(run({broken}, page), 1);
  EXPECT_EQ(Tables(run.anchorList), (TableList{{"http://e.com/x"}}));
}

TEST(ListAnchorsIntoViewFailures, FailureOutsideATableEndsTheRun) {
  const auto page = Page("<body><a href=\"/x\">x</a></body>", "http://e.com/");
  auto walkFails = fake::MakeDocument("http://e.com/frames");
  std::static_pointer_cast<fake::Window>(walkFails->window)->failOn = {"FrameCount"};
  auto urlFails = fake::MakeDocument("http://e.com/url");
  urlFails->failOn = {"Url"};
  auto urlExhausts = fake::MakeDocument("http://e.com/url");
  urlExhausts->exhaustOn = {"Url"};

  for (const dom::DocumentPtr& document :
       std::vector<dom::DocumentPtr>{walkFails, urlFails, urlExhausts}) {
    BarRun run;
    EXPECT_EQ(run({document}, page), 0);
    EXPECT_NE(run.Body().find("old list"), std::string::npos);
    EXPECT_EQ(run.anchorList, "untouched");
    EXPECT_TRUE(run.view->Scrolls().empty());
    // The "parsing" text does not stay after a failed run.
    EXPECT_EQ(run.statusTexts.back(), "");
  }
}

TEST(ListAnchorsIntoViewFailures, ViewFailuresEndTheRun) {
  const auto page = Page("<body><a href=\"/x\">x</a></body>", "http://e.com/");
  auto view = fake::MakeDocument("about:blank");
  fake::Browser browser;
  browser.document = view;
  BarRun run;

  // No body.
  EXPECT_EQ(run({}, page, &browser), 0);
  EXPECT_EQ(run.anchorList, "untouched");

  // A clean-up pass fails after the list was put into the view: no scroll.
  auto body = std::make_shared<fake::Node>();
  view->body = body;
  view->all = nullptr;
  view->images = nullptr;
  EXPECT_EQ(run({}, page, &browser), 0);
  EXPECT_EQ(body->innerHtml, run.anchorList);
  EXPECT_EQ(Tables(run.anchorList), (TableList{{"http://e.com/x"}}));
  EXPECT_TRUE(std::static_pointer_cast<fake::Window>(view->window)->scrolls.empty());

  // The view browser itself fails.
  browser.failOn = {"Document"};
  EXPECT_EQ(run({}, page, &browser), 0);
}

}  // namespace
}  // namespace tavrin
