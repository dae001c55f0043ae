#include "anchors/markup_sanitizer.h"

#include <gtest/gtest.h>

#include "browserview/portable/html_document.h"
#include "fake_dom.h"

namespace tavrin {
namespace {

// The sanitised content of the first link of a page holding `content` as that link's content.
std::string Sanitized(const std::string& content) {
  const auto document = dom::CHtmlDocument::Parse(
      "<!DOCTYPE html><html><body><a href=\"http://e.com/\">" + content + "</a></body></html>",
      "http://e.com/");
  const dom::CollectionPtr links = document->Links();
  EXPECT_GE(links->Length(), 1);
  return SanitizeLinkMarkup(*links->Item(0));
}

TEST(MarkupSanitizer, PhrasingElementsPassWithoutTheirAttributes) {
  EXPECT_EQ(Sanitized("<B class=\"x\" onclick=\"steal()\">bold</B> <i style=\"width:expression("
                      "alert(1))\">it</i><small id=s>s</small><nobr>n</nobr>a<wbr>b<br>c"),
            "<b>bold</b> <i>it</i><small>s</small><nobr>n</nobr>a<wbr>b<br>c");
  EXPECT_EQ(Sanitized("<span title=t><div align=center><strong>x</strong></div></span>"),
            "<span><div><strong>x</strong></div></span>");
  EXPECT_EQ(Sanitized("<font color=\"red\" size=\"2\" face=\"Arial\" style=\"x\" onmouseover=\"y\">"
                      "f</font>"),
            "<font color=\"red\" size=\"2\" face=\"Arial\">f</font>");
}

TEST(MarkupSanitizer, ScriptCapableElementsAreDroppedWithTheirContent) {
  EXPECT_EQ(Sanitized("a<script>alert(1)</script>b<style>*{color:red}</style>c"
                      "<iframe src=\"http://evil.example/\">fallback</iframe>d"
                      "<object data=\"x.swf\"><param name=\"p\" value=\"v\">obj</object>e"
                      "<embed src=\"x.swf\">f<noscript>ns</noscript>g"),
            "abcdefg");
  EXPECT_EQ(Sanitized("a<form action=\"http://evil.example/\"><input value=\"v\">"
                      "<button>press</button><select><option>o</option></select>"
                      "<textarea>t</textarea></form>b"),
            "ab");
  EXPECT_EQ(Sanitized("a<svg><script>alert(1)</script><text>s</text></svg>b"
                      "<math><mi>m</mi></math>c<template><b>t</b></template>d"),
            "abcd");
  // Everything else is unwrapped to its content.
  EXPECT_EQ(Sanitized("<custom-tag data-x=\"1\"><em>e</em></custom-tag><p>para</p>"
                      "<center>c</center><label for=\"x\">l</label>"),
            "<em>e</em>paracl");
}

TEST(MarkupSanitizer, ImageSourcesMustBeHttpHttpsOrInlineImages) {
  EXPECT_EQ(Sanitized("<img src=\"http://e.com/a.png\" alt=\"A\" width=\"10\" height=\"20\" "
                      "border=\"0\" align=\"top\" onerror=\"steal()\" style=\"x\" usemap=\"#m\">"),
            "<img src=\"http://e.com/a.png\" alt=\"A\" width=\"10\" height=\"20\" border=\"0\" "
            "align=\"top\">");
  EXPECT_EQ(Sanitized("<img src=\"HTTPS://e.com/a.png\">"), "<img src=\"HTTPS://e.com/a.png\">");
  EXPECT_EQ(Sanitized("<img src=\"data:image/png;base64,AAAA\">"),
            "<img src=\"data:image/png;base64,AAAA\">");
  for (const char* src :
       {"javascript:alert(1)", " JaVa&#9;ScRiPt:alert(1)", "vbscript:msgbox(1)",
        "data:text/html,<script>alert(1)</script>", "file:///etc/passwd", "relative.png", ""}) {
    EXPECT_EQ(Sanitized(std::string("<img alt=\"a\" src=\"") + src + "\">"), "<img alt=\"a\">")
        << src;
  }
  // Blanks and controls that a browser ignores do not hide a scheme.
  EXPECT_EQ(Sanitized("<img src=\" &#10;ht&#9;tp://e.com/a.png\">"),
            "<img src=\" \nht\ttp://e.com/a.png\">");
}

TEST(MarkupSanitizer, EscapesTextAndEveryAttributeValue) {
  EXPECT_EQ(Sanitized("1 &lt; 2 &amp;&amp; 3 &gt; 0 \"quoted\" 'single'"),
            "1 &lt; 2 &amp;&amp; 3 &gt; 0 \"quoted\" 'single'");
  EXPECT_EQ(Sanitized("<img src=\"http://e.com/a.png?x=1&amp;y=2\" "
                      "alt='\"><script>alert(1)</script>'>"),
            "<img src=\"http://e.com/a.png?x=1&amp;y=2\" "
            "alt=\"&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\">");
  EXPECT_EQ(Sanitized("<font face='a\" onmouseover=\"x'>f</font>"),
            "<font face=\"a&quot; onmouseover=&quot;x\">f</font>");
}

TEST(MarkupSanitizer, DropsCommentsAndKeepsAnyText) {
  EXPECT_EQ(Sanitized("a<!-- <script>x</script> -->b 日本語 한국어 😀 €"), "ab 日本語 한국어 😀 €");
  EXPECT_EQ(Sanitized("<script>only</script>"), "");
}

// ---- Shapes the parser does not give, on stand-ins ----------------------------------------------

std::shared_ptr<fake::Node> Element(const std::string& tag,
                                    std::vector<dom::NodePtr> children = {}) {
  auto node = std::make_shared<fake::Node>();
  node->tagName = tag;
  node->children = std::move(children);
  return node;
}

std::shared_ptr<fake::Node> Text(const std::string& data) {
  auto node = std::make_shared<fake::Node>();
  node->type = dom::NodeType::Text;
  node->isElement = false;
  node->data = data;
  return node;
}

TEST(MarkupSanitizer, NestedLinkIsCutAndModelFailuresPropagate) {
  auto inner = Element("A", {Text("inner")});
  inner->attributes = {{"href", "javascript:alert(1)"}};
  EXPECT_EQ(SanitizeLinkMarkup(*Element("A", {Text("a"), inner, Text("b")})), "ab");
  auto bold = Element("B", {Text("b")});
  bold->failOn = {"ChildNodes"};
  EXPECT_THROW(SanitizeLinkMarkup(*Element("A", {bold})), dom::DomError);
}

TEST(MarkupSanitizer, DeepNestingDoesNotExhaustTheStack) {
  constexpr int kDepth = 200000;
  dom::NodePtr node = Text("deep");
  for (int i = 0; i < kDepth; ++i) node = Element(i % 2 ? "B" : "X-UNKNOWN", {node});
  const auto link = Element("A", {node});
  const std::string markup = SanitizeLinkMarkup(*link);
  EXPECT_EQ(markup.size(), kDepth / 2 * std::string("<b></b>").size() + 4);
  EXPECT_NE(markup.find("<b>deep</b>"), std::string::npos);
  // The chain must not be freed recursively either: unlink it from the top.
  while (auto element = std::dynamic_pointer_cast<fake::Node>(node)) {
    if (element->children.empty()) break;
    node = element->children.front();
    element->children.clear();
  }
}

}  // namespace
}  // namespace tavrin
