#include "browserview/portable/html_document.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

namespace tavrin::dom {
namespace {

std::shared_ptr<CHtmlDocument> Parse(const std::string& html,
                                     const std::string& url = "http://example.com/dir/page.html",
                                     FrameLoader loader = {}) {
  return CHtmlDocument::Parse(html, url, "UTF-8", std::move(loader));
}

std::vector<std::string> Hrefs(IDocument& document) {
  std::vector<std::string> hrefs;
  CollectionPtr links = document.Links();
  for (long i = 0; i < links->Length(); ++i) {
    NodePtr link = links->Item(i);
    hrefs.push_back(link->IsAnchor() ? link->Href() : link->TagName());
  }
  return hrefs;
}

TEST(HtmlDocumentSerialisation, InnerHtmlFollowsTheStandard) {
  auto document = Parse(
      "<body><p title='say \"hi\" &amp; go&nbsp;©'>a &lt;b&gt; &amp; c&nbsp;d ©&nbsp;<br>"
      "<img src=x.png><!-- note --></p><script>if (a < b && c) {}</script></body>");
  EXPECT_EQ(document->Body()->InnerHtml(),
            "<p title=\"say &quot;hi&quot; &amp; go&nbsp;©\">a &lt;b&gt; &amp; c&nbsp;d ©&nbsp;<br>"
            "<img src=\"x.png\"><!-- note --></p><script>if (a < b && c) {}</script>");
}

TEST(HtmlDocumentSerialisation, RoundTripsThroughInnerHtml) {
  const std::string markup =
      "<font color=\"red\">日本語 <b>bold</b></font><table><tbody><tr><td>cell</td></tr></tbody>"
      "</table><svg viewBox=\"0 0 1 "
      "1\"><foreignObject></foreignObject></svg><x-widget>w</x-widget>";
  auto document = Parse("<body>" + markup);
  NodePtr body = document->Body();
  EXPECT_EQ(body->InnerHtml(), markup);
  body->SetInnerHtml(body->InnerHtml());
  EXPECT_EQ(body->InnerHtml(), markup);
}

TEST(HtmlDocumentSerialisation, DeepNestingNeitherOverflowsNorLosesContent) {
  std::string open, close;
  for (int i = 0; i < 3000; ++i) {
    open += "<span>";
    close = "</span>" + close;
  }
  auto document = Parse("<body>" + open + "x" + close);
  EXPECT_EQ(document->Body()->InnerHtml(), open + "x" + close);
}

TEST(HtmlDocumentFragments, ParseInTheElementsContext) {
  auto document = Parse("<body><table><tbody id=t></tbody></table><div></div>");
  NodePtr tbody = document->All()->Tags("tbody")->Item(0);
  tbody->SetInnerHtml("<tr><td>a</td></tr>");
  EXPECT_EQ(tbody->InnerHtml(), "<tr><td>a</td></tr>");

  NodePtr div = document->All()->Tags("DIV")->Item(0);
  div->SetInnerHtml("<My-Tag Data-X=1>t</My-Tag><td>dropped cell</td>");
  EXPECT_EQ(div->InnerHtml(), "<my-tag data-x=\"1\">t</my-tag>dropped cell");
}

TEST(HtmlDocumentFragments, OuterHtmlReplacesAndRemoves) {
  auto document = Parse("<body><p>a<b>b</b>c<s>s<q>q</q></s></p><i>gone</i><em>gone</em>");
  NodePtr body = document->Body();
  document->All()->Tags("b")->Item(0)->SetOuterHtml("<u>x</u><u>y</u>");
  document->All()->Tags("i")->Item(0)->SetOuterHtml("");
  document->All()->Tags("s")->Item(0)->RemoveKeepingContent();
  document->All()->Tags("em")->Item(0)->Remove();
  EXPECT_EQ(body->InnerHtml(), "<p>a<u>x</u><u>y</u>cs<q>q</q></p>");

  NodePtr html = document->All()->Tags("html")->Item(0);
  EXPECT_THROW(html->SetOuterHtml("<p>"), DomError);
  EXPECT_THROW(html->Remove(), DomError);
  EXPECT_THROW(html->RemoveKeepingContent(), DomError);
}

TEST(HtmlDocumentFragments, ManySmallParsesShareTheRunsClock) {
  // Each piece is far below the allocations between two readings of the clock; together they
  // must still meet a budget that allows no time at all.
  const auto run = [](std::chrono::milliseconds allowed) {
    auto budget = std::make_shared<CRunBudget>(
        RunLimits{.processorTime = allowed, .processorTimePerByteRead = {}});
    auto document =
        CHtmlDocument::Parse("<body><p>x</p>", "http://example.com/", "UTF-8", {}, budget);
    NodePtr paragraph = document->All()->Tags("p")->Item(0);
    for (int i = 0; i < 1000; ++i) paragraph->SetInnerHtml("<b>" + std::to_string(i) + "</b>");
    return paragraph->InnerHtml();
  };
  EXPECT_THROW(run(std::chrono::milliseconds(0)), CBudgetExceeded);
  EXPECT_EQ(run(std::chrono::minutes(1)), "<b>999</b>");
}

TEST(HtmlDocumentNodes, ExposeTypesNamesAndAttributes) {
  auto document = Parse("<body><a href=x onclick=go()>t<img src=i alt=\"A\"></a>");
  NodePtr link = document->Links()->Item(0);
  EXPECT_EQ(link->TagName(), "A");
  EXPECT_TRUE(link->IsAnchor());
  EXPECT_FALSE(link->IsImage());
  ASSERT_EQ(link->Attributes().size(), 2u);
  EXPECT_EQ(link->Attributes()[1].name, "onclick");
  auto children = link->ChildNodes();
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0]->Type(), NodeType::Text);
  EXPECT_EQ(children[0]->Data(), "t");
  EXPECT_TRUE(children[1]->IsImage());
  EXPECT_EQ(children[1]->Alt(), "A");
  EXPECT_THROW(children[1]->Href(), DomError);
  EXPECT_THROW(children[0]->InnerHtml(), DomError);
}

TEST(HtmlDocumentAddresses, ResolveAgainstDocumentAndBase) {
  auto plain = Parse(
      "<a href='../up?q=1#f'>1</a><a href=''>2</a><a href='#top'>3</a>"
      "<a href='javascript:void(0)'>4</a><img src='i.png'>");
  EXPECT_EQ(Hrefs(*plain), (std::vector<std::string>{
                               "http://example.com/up?q=1#f", "http://example.com/dir/page.html",
                               "http://example.com/dir/page.html#top", "javascript:void(0)"}));
  EXPECT_EQ(plain->Images()->Item(0)->Src(), "http://example.com/dir/i.png");

  auto based = Parse("<head><base href='https://cdn.example.org/b/'></head><a href='x'>1</a>");
  EXPECT_EQ(Hrefs(*based), std::vector<std::string>{"https://cdn.example.org/b/x"});
  // Writing an href stores the value as given; reading resolves it.
  NodePtr link = based->Links()->Item(0);
  link->SetHref("/abs");
  EXPECT_EQ(link->Href(), "https://cdn.example.org/abs");
  // Removing the base takes the document's own address again.
  based->All()->Tags("base")->Item(0)->SetOuterHtml("");
  EXPECT_EQ(link->Href(), "http://example.com/abs");

  auto scripted = Parse("<base href='javascript:alert(1)//'><a href=x>1</a>");
  EXPECT_EQ(Hrefs(*scripted), std::vector<std::string>{"http://example.com/dir/x"});
}

TEST(HtmlDocumentAddresses, QueryIsEncodedInTheDocumentsEncoding) {
  // The second byte of 本 is "{", which a query keeps as it stands.
  auto document =
      CHtmlDocument::Parse("<a href='s?q=日本'>j</a>", "http://example.jp/", "Shift_JIS");
  EXPECT_EQ(document->Links()->Item(0)->Href(), "http://example.jp/s?q=%93%FA%96{");
}

TEST(HtmlDocumentCollections, LinksAreAnchorsAndAreasWithHrefInDocumentOrder) {
  auto document = Parse(
      "<a name=nohref>x</a><map><area href=/area></map><a href=/one>1</a>"
      "<template><a href=/template>t</a></template><noscript><a href=/noscript>n</a></noscript>"
      "<svg><a href=/svg>s</a></svg><a href=/two>2</a>");
  EXPECT_EQ(Hrefs(*document),
            (std::vector<std::string>{"AREA", "http://example.com/one", "http://example.com/two"}));
  EXPECT_EQ(document->All()->Tags("noscript")->Item(0)->InnerHtml(), "<a href=/noscript>n</a>");
}

TEST(HtmlDocumentCollections, NoscriptInTheHeadStaysText) {
  auto document = Parse(
      "<head><noscript><base href=http://wrong.example/><img src=pixel.gif>"
      "<a href=/hidden>h</a></NOSCRIPT ><title>T</title></head><body><a href=x>1</a>");
  EXPECT_EQ(Hrefs(*document), std::vector<std::string>{"http://example.com/dir/x"});
  EXPECT_EQ(document->Images()->Length(), 0);
  EXPECT_EQ(document->All()->Tags("noscript")->Item(0)->InnerHtml(),
            "<base href=http://wrong.example/><img src=pixel.gif><a href=/hidden>h</a>");
}

// What a browser with scripting on makes of markup that the parser put inside a noscript but
// that lies after its end tag: it follows the noscript, in order.
TEST(HtmlDocumentCollections, WhatFollowsANoscriptEndTagFollowsTheNoscript) {
  struct Case {
    std::string body;
    std::vector<std::string> hrefs;
    std::string after;  // the body's markup after the noscript
  };
  const std::vector<Case> cases = {
      {"<noscript><!-- </noscript> --><a href=/visible>v</a>",
       {"http://example.com/visible"},
       " --&gt;<a href=\"/visible\">v</a>"},
      {"<noscript><b></noscript><a href=/after>a</a><p>p</p>",
       {"http://example.com/after"},
       "<a href=\"/after\">a</a><p>p</p>"},
      {"<noscript><!-- </noscript><a href=/in-comment>c</a> --><a href=/next>n</a>",
       {"http://example.com/in-comment", "http://example.com/next"},
       "<a href=\"/in-comment\">c</a> --&gt;<a href=\"/next\">n</a>"},
      {"<noscript><a href=/hidden>h</a></noscript><a href=/shown>s</a>",
       {"http://example.com/shown"},
       "<a href=\"/shown\">s</a>"},
  };
  for (const Case& test : cases) {
    auto document = Parse("<body>" + test.body);
    EXPECT_EQ(Hrefs(*document), test.hrefs) << test.body;
    const std::string body = document->Body()->InnerHtml();
    EXPECT_EQ(body.substr(body.find("</noscript>") + 11), test.after) << test.body;
  }
  // A noscript cut inside the rest of one cut inside the rest of another, many times over,
  // is parsed a few levels deep and then taken as text: the work stays linear.
  std::string chain;
  for (int i = 0; i < 2000; ++i)
    chain += "<noscript><!-- </noscript><a href=/" + std::to_string(i) + ">";
  EXPECT_LE(Hrefs(*Parse("<body>" + chain + "-->")).size(), 8u);
}

// The base address stays right whichever way base elements come and go.
TEST(HtmlDocumentAddresses, BaseFollowsEveryChangeOfBaseElements) {
  auto document = Parse("<body><div id=holder></div><a href=x>1</a>");
  NodePtr link = document->Links()->Item(0);
  NodePtr holder = document->All()->Tags("div")->Item(0);
  holder->SetInnerHtml("<base href='http://one.example/'>");
  EXPECT_EQ(link->Href(), "http://one.example/x");
  holder->SetInnerHtml("<span><base href='http://two.example/'></span>");
  EXPECT_EQ(link->Href(), "http://two.example/x");
  link->SetHref("y");  // a write elsewhere keeps it
  EXPECT_EQ(link->Href(), "http://two.example/y");
  document->All()->Tags("span")->Item(0)->SetOuterHtml("");
  EXPECT_EQ(link->Href(), "http://example.com/dir/y");
  holder->SetOuterHtml("<base href='http://three.example/'>");
  EXPECT_EQ(link->Href(), "http://three.example/y");
}

TEST(HtmlDocumentCollections, SeeTheDocumentAfterEachChange) {
  auto document = Parse("<body><p><img src=a><img src=b></p><p><img src=c></p>");
  CollectionPtr images = document->Images();
  ASSERT_EQ(images->Length(), 3);
  // One image replaced by one image keeps the index valid, first to last.
  for (long i = 0; i < images->Length(); ++i) {
    NodePtr image = images->Item(i);
    image->SetOuterHtml("<img src=\"" + image->Src() + "\" align=\"left\">");
  }
  EXPECT_EQ(images->Length(), 3);
  EXPECT_EQ(images->Item(2)->Src(), "http://example.com/dir/c");
  EXPECT_EQ(document->Body()->InnerHtml(),
            "<p><img src=\"http://example.com/dir/a\" align=\"left\">"
            "<img src=\"http://example.com/dir/b\" align=\"left\"></p>"
            "<p><img src=\"http://example.com/dir/c\" align=\"left\"></p>");

  // Changes made elsewhere are seen as well.
  document->Body()->SetInnerHtml("<img src=x>");
  EXPECT_EQ(images->Length(), 1);
  EXPECT_EQ(images->Item(1), nullptr);
  EXPECT_EQ(images->Item(-1), nullptr);
}

TEST(HtmlDocumentCollections, NestedElementsUnwrapInnerFirstFromTheEnd) {
  auto document =
      Parse("<body><font color=red>a<font size=2>b</font>c</font><font face=x>d</font>");
  CollectionPtr fonts = document->All()->Tags("FONT");
  for (long i = fonts->Length() - 1; i >= 0; --i) {
    NodePtr font = fonts->Item(i);
    font->SetOuterHtml(font->InnerHtml());
  }
  EXPECT_EQ(document->Body()->InnerHtml(), "abcd");
  EXPECT_EQ(fonts->Length(), 0);
}

TEST(HtmlDocumentWindows, FramesComeFromTheLoaderInDocumentOrder) {
  std::map<std::string, DocumentPtr> loaded;
  FrameLoader loader = [&loaded](const std::string& url) -> DocumentPtr {
    if (url.find("missing") != std::string::npos) return nullptr;
    return loaded[url] = Parse("<a href=/in-frame>f</a>", url);
  };
  auto top = Parse("<frameset><frame src=nav.html><frame src='missing.html'><frame></frameset>",
                   "http://example.com/dir/index.html", loader);
  WindowPtr window = top->ParentWindow();
  EXPECT_EQ(window->Document(), top);
  ASSERT_EQ(window->FrameCount(), 3);
  EXPECT_EQ(window->Frame(0)->Document()->Url(), "http://example.com/dir/nav.html");
  EXPECT_EQ(window->Frame(1)->Document(), nullptr);
  EXPECT_EQ(window->Frame(2)->Document()->Url(), "about:blank");
  EXPECT_EQ(window->Frame(3), nullptr);
  EXPECT_EQ(top->Body()->TagName(), "FRAMESET");

  window->ScrollTo(-2000, -2000);
  EXPECT_EQ(top->Scrolls(), (std::vector<std::pair<long, long>>{{-2000, -2000}}));

  auto noLoader = Parse("<iframe src=a.html></iframe>");
  EXPECT_EQ(noLoader->ParentWindow()->Frame(0)->Document(), nullptr);
}

TEST(HtmlDocument, SerialisesTheWholeDocument) {
  auto document = Parse("<!DOCTYPE html><title>t</title><p>x");
  EXPECT_EQ(document->Serialize(),
            "<!DOCTYPE html><html><head><title>t</title></head><body><p>x</p></body></html>");
  // In pieces, each but the last holding at least the size asked for, together the same text.
  const std::vector<std::string> pieces = document->SerializeInPieces(10);
  ASSERT_GT(pieces.size(), 2u);
  std::string joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i + 1 < pieces.size()) {
      EXPECT_GE(pieces[i].size(), 10u);
    }
    joined += pieces[i];
  }
  EXPECT_EQ(joined, document->Serialize());
  EXPECT_EQ(document->Url(), "http://example.com/dir/page.html");
}

}  // namespace
}  // namespace tavrin::dom
