// The band's run of the anchor list through the MSHTML adapter, over the browser double: what
// each failure level leaves behind, and every reference given back after each run.
#include "band/mshtml_refresh.h"

#include "browserview/mshtml/mshtml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "band/settings.h"
#include "framework/com_object.h"
#include "framework/unique_any.h"
#include "mshtml_double.h"
#include "web_browser_double.h"

namespace tavrin {
namespace {

using test_double::CFault;

// Snapshot JSON as tavrin-anchors writes it, for the few nodes these pages need.
std::string Text(std::string_view data) {
  return R"({"type":"text","data":")" + std::string(data) + R"("})";
}
std::string Element(std::string_view name, std::string_view attributes,
                    const std::vector<std::string>& children, std::string_view resolved = {}) {
  std::string out = R"({"type":"element","name":")" + std::string(name) +
                    R"(","ns":"html","attributes":[)" + std::string(attributes) + "]";
  if (!resolved.empty()) out += "," + std::string(resolved);
  out += R"(,"children":[)";
  for (std::size_t i = 0; i < children.size(); ++i) out += (i ? "," : "") + children[i];
  return out + "]}";
}
std::string Link(std::string_view href, const std::string& content) {
  return Element("a", R"(["href",")" + std::string(href) + R"("])", {content},
                 R"("href":"http://h/)" + std::string(href) + '"');
}
std::string Image(std::string_view src) {
  return Element("img", R"(["src",")" + std::string(src) + R"("])", {},
                 R"("src":"http://h/)" + std::string(src) + '"');
}
std::string Document(std::string_view url, std::string_view frames, const std::string& body) {
  const std::string html = Element("html", "", {Element("head", "", {}), body});
  return R"({"url":")" + std::string(url) + R"(","frames":[)" + std::string(frames) +
         R"(],"root":{"type":"document","children":[{"type":"doctype","name":"html"},)" + html +
         "]}}";
}

// A frameset whose first frame shows the links page, whose second refuses access (another
// domain) and whose third shows a page with one link elsewhere.
const std::wstring kTop = L"http://h/top.html";
const std::wstring kLinks = L"http://h/links.html";
const std::wstring kOther = L"http://h/other.html";
std::string Snapshot() {
  const std::string frames =
      Element("frameset", "",
              {Element("frame", R"(["src","links.html"])", {}),
               Element("frame", R"(["src","http://elsewhere.example/"])", {}),
               Element("frame", R"(["src","other.html"])", {})});
  const std::string links =
      Element("body", "",
              {Link("one.html", Text("one")), Image("a.png"),
               Link("two.html", Element("font", R"(["color","red"])", {Image("b.png")})),
               Link("three.html", Text("three 日本 😀"))});
  const std::string other = Element(
      "body", "",
      {Link("four.html", Text("four")), Element("a", R"(["href","http://x.example/"])",
                                                {Text("five")}, R"("href":"http://x.example/")")});
  const std::string view = Element("body", R"(["class","list"])", {Text("earlier list")});
  return R"({"top":0,"documents":[)" + Document("http://h/top.html", "1,null,2", frames) + "," +
         Document("http://h/links.html", "", links) + "," +
         Document("http://h/other.html", "", other) + R"(],"view":)" +
         Document("res://tavrin.dll/blank.htm", "", view) + "}";
}

// What one run left behind.
struct Outcome {
  int result = -1;
  std::string list;  // the view's whole page after the run
  bool viewUnchanged = false;
  bool scrolled = false;
  std::string linksPage;  // the links page after the run
  std::wstring statusText;
};

class MshtmlRefresh : public testing::Test {
 protected:
  void SetUp() override {
    test_double::ClearFaults();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    CreateSettingsKey();
  }
  void TearDown() override {
    test_double::ClearFaults();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  }

  // One run over a fresh snapshot with the faults given; the frame document list is empty (the
  // band opened after the load) unless `recordFrames`. Every object of the double must be gone
  // afterwards.
  static Outcome Run(const std::vector<CFault>& faults, bool recordFrames = false) {
    Outcome outcome;
    {
      test_double::CSnapshot snapshot = test_double::ParseSnapshot(Snapshot());
      const std::string viewBefore = test_double::SerializeDocument(snapshot.view.get());
      ComPtr<ComObject<test_double::CWebBrowserDouble>> mainBrowser(
          new ComObject<test_double::CWebBrowserDouble>());
      ComPtr<ComObject<test_double::CFrameBrowser>> viewBrowser(
          new ComObject<test_double::CFrameBrowser>());
      mainBrowser->Show(snapshot.top, kTop);
      viewBrowser->Show(snapshot.view, L"res://tavrin.dll/blank.htm");
      std::vector<ComPtr<IHTMLDocument2>> frames;
      if (recordFrames) frames = snapshot.documents;

      for (const CFault& fault : faults) test_double::InjectFault(fault);
      outcome.result = mshtml::ListBrowserAnchorsIntoView(mainBrowser.get(), snapshot.top.get(),
                                                          frames, viewBrowser.get());
      test_double::ClearFaults();

      outcome.list = test_double::SerializeDocument(snapshot.view.get());
      outcome.viewUnchanged = outcome.list == viewBefore;
      outcome.scrolled = !test_double::ScrollsOf(snapshot.view.get()).empty();
      outcome.linksPage = test_double::SerializeDocument(snapshot.documents[1].get());
      UniqueBstr status;
      mainBrowser->get_StatusText(status.put());
      outcome.statusText.assign(status.get(), SysStringLen(status.get()));
    }
    EXPECT_EQ(test_double::LiveObjectCount(), 0) << "objects of the double outlived the run";
    return outcome;
  }

  static bool Lists(const Outcome& outcome, std::string_view address) {
    return outcome.list.find("href=\"" + std::string(address) + '"') != std::string::npos;
  }
};

TEST_F(MshtmlRefresh, ListsTheFramesOfTheMainDocumentAndSkipsTheRefusedOne) {
  const Outcome outcome = Run({});
  EXPECT_EQ(outcome.result, 1);
  for (const char* address : {"http://h/one.html", "http://h/two.html", "http://h/three.html",
                              "http://h/four.html", "http://x.example/"}) {
    EXPECT_TRUE(Lists(outcome, address)) << address;
  }
  // Cleaned up: the FONT unwrapped, the image bare and absolute; scrolled home; status cleared.
  EXPECT_EQ(outcome.list.find("<font"), std::string::npos) << outcome.list;
  EXPECT_NE(outcome.list.find("<img src=\"http://h/b.png\" align=\"left\" alt=\"\">"),
            std::string::npos)
      << outcome.list;
  EXPECT_TRUE(outcome.scrolled);
  EXPECT_EQ(outcome.statusText, L"");
  // Text crosses the UTF-16 boundary both ways without loss.
  EXPECT_NE(outcome.list.find(">three 日本 😀</a>"), std::string::npos) << outcome.list;
  // The page carries absolute addresses now.
  EXPECT_NE(outcome.linksPage.find("src=\"http://h/a.png\""), std::string::npos);
  EXPECT_NE(outcome.linksPage.find("href=\"http://h/three.html\""), std::string::npos);
}

TEST_F(MshtmlRefresh, DomainOnlyIsReadAtEveryRun) {
  WriteSetting(kDomainOnlyValue, 1);
  const Outcome on = Run({});
  EXPECT_TRUE(Lists(on, "http://h/four.html"));
  EXPECT_FALSE(Lists(on, "http://x.example/"));
  WriteSetting(kDomainOnlyValue, 0);
  EXPECT_TRUE(Lists(Run({}), "http://x.example/"));
}

TEST_F(MshtmlRefresh, AnItemThatCannotBeHadIsSkipped) {
  const Outcome outcome =
      Run({{.call = L"IHTMLElementCollection::item", .documentUrl = kLinks, .index = 0},
           {.call = L"QueryInterface:IHTMLAnchorElement",
            .result = E_NOINTERFACE,
            .documentUrl = kOther,
            .tag = L"A",
            .index = 0}});
  EXPECT_EQ(outcome.result, 1);
  EXPECT_FALSE(Lists(outcome, "http://h/one.html"));
  EXPECT_TRUE(Lists(outcome, "http://h/two.html"));
  EXPECT_FALSE(Lists(outcome, "http://h/four.html"));
  EXPECT_TRUE(Lists(outcome, "http://x.example/"));
}

TEST_F(MshtmlRefresh, AFailureInsideATableEndsItAndKeepsTheRowsBuilt) {
  // A failed call, a null from a successful one, a query failing otherwise than E_NOINTERFACE.
  const std::vector<CFault> faults = {
      {.call = L"IHTMLAnchorElement::get_href", .documentUrl = kLinks, .tag = L"A", .index = 1},
      {.call = L"IHTMLAnchorElement::put_href",
       .result = E_OUTOFMEMORY,
       .documentUrl = kLinks,
       .tag = L"A",
       .index = 1},
      {.call = L"QueryInterface:IHTMLElement",
       .result = E_UNEXPECTED,
       .documentUrl = kLinks,
       .tag = L"A",
       .index = 1},
  };
  for (const CFault& fault : faults) {
    SCOPED_TRACE(testing::Message() << std::string(fault.call.begin(), fault.call.end()));
    const Outcome outcome = Run({fault});
    EXPECT_EQ(outcome.result, 1);
    EXPECT_TRUE(Lists(outcome, "http://h/one.html"));
    EXPECT_FALSE(Lists(outcome, "http://h/two.html"));
    EXPECT_FALSE(Lists(outcome, "http://h/three.html"));
    EXPECT_TRUE(Lists(outcome, "http://h/four.html"));  // the next document's table
  }
  // Without its links collection a document contributes nothing.
  const Outcome outcome =
      Run({{.call = L"IHTMLDocument2::get_links", .result = S_OK, .documentUrl = kLinks}});
  EXPECT_EQ(outcome.result, 1);
  EXPECT_FALSE(Lists(outcome, "http://h/one.html"));
  EXPECT_TRUE(Lists(outcome, "http://h/four.html"));
}

TEST_F(MshtmlRefresh, AFailureInTheImagePassEndsItAndTheTableIsStillBuilt) {
  const Outcome outcome = Run(
      {{.call = L"IHTMLImgElement::get_src", .documentUrl = kLinks, .tag = L"IMG", .index = 0}});
  EXPECT_EQ(outcome.result, 1);
  EXPECT_TRUE(Lists(outcome, "http://h/three.html"));
  // The pass ended at the first image: the second keeps the address as written.
  EXPECT_NE(outcome.linksPage.find("src=\"b.png\""), std::string::npos) << outcome.linksPage;
}

TEST_F(MshtmlRefresh, AFailureInTheFrameWalkOrTheViewBodyEndsTheRunAndLeavesTheView) {
  const std::wstring view = L"res://tavrin.dll/blank.htm";
  const std::vector<CFault> faults = {
      {.call = L"IHTMLWindow2::get_frames", .documentUrl = kTop},
      {.call = L"IHTMLWindow2::get_document", .result = E_FAIL},
      {.call = L"IHTMLDocument2::get_body", .result = S_OK, .documentUrl = view},
      {.call = L"IHTMLElement::put_innerHTML", .documentUrl = view, .tag = L"BODY"},
  };
  for (const CFault& fault : faults) {
    SCOPED_TRACE(testing::Message() << std::string(fault.call.begin(), fault.call.end()));
    const Outcome outcome = Run({fault});
    EXPECT_EQ(outcome.result, 0);
    EXPECT_TRUE(outcome.viewUnchanged) << outcome.list;
    EXPECT_FALSE(outcome.scrolled);
    // The "parsing" text does not stay behind a failed run.
    EXPECT_EQ(outcome.statusText, L"");
  }
}

TEST_F(MshtmlRefresh, AFailureInACleanUpPassEndsTheRunWithTheListUncleaned) {
  const std::wstring view = L"res://tavrin.dll/blank.htm";
  struct Case {
    CFault fault;
    const char* notCleanedUp;  // what the pass that failed would have changed
  };
  const Case cases[] = {
      {{.call = L"IHTMLElementCollection::tags", .documentUrl = view}, "<font"},
      {{.call = L"QueryInterface:IHTMLFontElement", .result = E_ACCESSDENIED, .documentUrl = view},
       "<font"},
      {{.call = L"IHTMLDocument2::get_images", .result = S_OK, .documentUrl = view},
       "<img src=\"http://h/b.png\">"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.fault.call.begin(), c.fault.call.end()));
    const Outcome outcome = Run({c.fault});
    EXPECT_EQ(outcome.result, 0);
    EXPECT_TRUE(Lists(outcome, "http://h/one.html"));
    EXPECT_NE(outcome.list.find(c.notCleanedUp), std::string::npos) << outcome.list;
    EXPECT_FALSE(outcome.scrolled);
  }
}

TEST_F(MshtmlRefresh, RecordedFramesAreWalkedOnceEachAsStartingDocuments) {
  const Outcome outcome = Run({}, true);
  EXPECT_EQ(outcome.result, 1);
  // From the top document's walk and from the frame's own: each frame's table twice.
  std::size_t count = 0;
  for (std::size_t at = outcome.list.find("http://h/four.html"); at != std::string::npos;
       at = outcome.list.find("http://h/four.html", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 2u);
}

TEST(MshtmlDocument, OnlySpecifiedAttributesOfAQuirksModeCollectionCount) {
  {
    const test_double::CSnapshot snapshot = test_double::ParseSnapshot(Snapshot());
    const dom::DocumentPtr links = mshtml::WrapDocument(snapshot.documents[1].get());
    const dom::NodePtr two = links->Links()->Item(1);
    ASSERT_TRUE(two && two->IsAnchor());
    const std::vector<dom::NodePtr> children = two->ChildNodes();
    ASSERT_EQ(children.size(), 1u);
    ASSERT_EQ(children[0]->TagName(), "FONT");
    // The collection also lists face, size, id, title, dir and onclick, none of them specified.
    const std::vector<dom::Attribute> attributes = children[0]->Attributes();
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0].name, "color");
    EXPECT_EQ(attributes[0].value, "red");
  }
  EXPECT_EQ(test_double::LiveObjectCount(), 0);
}

TEST_F(MshtmlRefresh, NoViewDocumentNoRun) {
  {
    ComPtr<ComObject<test_double::CFrameBrowser>> viewBrowser(
        new ComObject<test_double::CFrameBrowser>());
    EXPECT_EQ(mshtml::ListBrowserAnchorsIntoView(nullptr, nullptr, {}, viewBrowser.get()), 0);
    EXPECT_EQ(mshtml::ListBrowserAnchorsIntoView(nullptr, nullptr, {}, nullptr), 0);
  }
  EXPECT_EQ(test_double::LiveObjectCount(), 0);
}

}  // namespace
}  // namespace tavrin
