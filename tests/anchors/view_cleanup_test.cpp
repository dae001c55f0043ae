#include "anchors/view_cleanup.h"

#include <gtest/gtest.h>

#include "browserview/portable/html_document.h"
#include "fake_dom.h"

namespace tavrin {
namespace {

// ---- The passes on the portable model ----------------------------------------------------------

// The view's body content after the clean-up of a body holding `content`.
std::string CleanedUp(const std::string& content) {
  const auto view = dom::CHtmlDocument::Parse(
      "<html><body leftmargin=\"0\">" + content + "</body></html>", "about:blank");
  CleanUpViewDocument(*view);
  return view->Body()->InnerHtml();
}

TEST(ViewCleanup, FontIsUnwrappedBeforeDivAndSpanAreRemoved) {
  // FONT in SPAN goes with the SPAN; the emptied link gets its address.
  EXPECT_EQ(CleanedUp("<a href=\"http://e.com/1\"><span>x<font color=\"red\">y</font></span></a>"),
            "<a href=\"http://e.com/1\">http://e.com/1</a>");
  // DIV in FONT survives the unwrapping and is then removed.
  EXPECT_EQ(
      CleanedUp("<a href=\"http://e.com/2\"><font color=\"red\">keep<div>drop</div></font></a>"),
      "<a href=\"http://e.com/2\">keep</a>");
  // Nested FONT elements all go; nested DIVs go inner first, then outer.
  EXPECT_EQ(CleanedUp("<a href=\"http://e.com/3\"><font size=\"1\"><b><font face=\"x\">t</font></b>"
                      "</font><div><div>d</div></div></a>"),
            "<a href=\"http://e.com/3\"><b>t</b></a>");
}

TEST(ViewCleanup, LineBreaksVanishAndImagesBecomeBare) {
  EXPECT_EQ(CleanedUp("<a href=\"http://e.com/1\">two<br>lines</a>"),
            "<a href=\"http://e.com/1\">twolines</a>");
  EXPECT_EQ(CleanedUp("<a href=\"http://e.com/2\"><img src=\"http://e.com/i.png\" width=\"10\" "
                      "border=\"0\" alt=\"say &quot;hi&quot; &amp; bye\">t</a>"
                      "<a href=\"http://e.com/3\"><img src=\"data:image/png;base64,AA\"></a>"),
            "<a href=\"http://e.com/2\"><img src=\"http://e.com/i.png\" align=\"left\" "
            "alt=\"say &quot;hi&quot; &amp; bye\">t</a>"
            "<a href=\"http://e.com/3\"><img src=\"data:image/png;base64,AA\" align=\"left\" "
            "alt=\"\"></a>");
}

TEST(ViewCleanup, EmptiedLinkShowsItsAddressAsText) {
  EXPECT_EQ(CleanedUp("<a href=\"http://e.com/?a=1&amp;b=2\"><span>gone</span></a><a "
                      "href=\"http://e.com/k\">kept</a>"),
            "<a href=\"http://e.com/?a=1&amp;b=2\">http://e.com/?a=1&amp;b=2</a>"
            "<a href=\"http://e.com/k\">kept</a>");
  EXPECT_EQ(CleanedUp("<a name=\"n\"></a>"), "<a name=\"n\"></a>");
  // Only white space left, in the link or in what the clean-up kept, shows nothing either.
  EXPECT_EQ(CleanedUp("<a href=\"http://e.com/w\"> <span>gone</span>\n</a>"
                      "<a href=\"http://e.com/b\"><b> <!--c--></b><font>\t</font></a>"
                      "<a href=\"http://e.com/i\"> <img src=\"http://e.com/i.png\"> </a>"),
            "<a href=\"http://e.com/w\">http://e.com/w</a><a href=\"http://e.com/b\">http://e.com/b</a>"
            "<a href=\"http://e.com/i\"> <img src=\"http://e.com/i.png\" align=\"left\" alt=\"\"> </a>");
}

// ---- Failure paths, on stand-ins -------------------------------------------------------------

std::shared_ptr<fake::Node> Anchor(const std::string& href, const std::string& text) {
  auto node = std::make_shared<fake::Node>();
  node->tagName = "A";
  node->isAnchor = true;
  node->href = href;
  node->innerHtml = text;
  if (!text.empty()) {
    auto child = std::make_shared<fake::Node>();
    child->type = dom::NodeType::Text;
    child->data = text;
    node->children = {child};
  }
  return node;
}

TEST(ViewCleanupFailures, MissingAllCollectionEndsOnlyThosePasses) {
  fake::Document document;
  document.all = nullptr;
  auto empty = Anchor("http://e.com/?a=1&b=<2>", "");
  auto full = Anchor("http://e.com/", "text");
  std::static_pointer_cast<fake::Collection>(document.links)->items = {empty, nullptr, full};

  EXPECT_EQ(UnwrapFontTags(document), 0);
  EXPECT_EQ(RemoveTags(document, "DIV"), 0);
  EXPECT_NO_THROW(CleanUpViewDocument(document));
  // FillEmptyLinks still ran; the address shows as text, never as markup.
  EXPECT_EQ(empty->innerHtml, "http://e.com/?a=1&amp;b=&lt;2&gt;");
  EXPECT_EQ(full->innerHtml, "text");

  document.links = nullptr;
  EXPECT_EQ(FillEmptyLinks(document), 0);
  EXPECT_NO_THROW(CleanUpViewDocument(document));
}

TEST(ViewCleanupFailures, FailedTagsCallMissingImagesOrElementFailureAbort) {
  fake::Document document;  // its `all` gives no collection for any tag name
  EXPECT_THROW(UnwrapFontTags(document), dom::DomError);
  EXPECT_THROW(RemoveTags(document, "SPAN"), dom::DomError);
  EXPECT_THROW(CleanUpViewDocument(document), dom::DomError);

  document.all = nullptr;
  document.images = nullptr;
  EXPECT_THROW(SimplifyImages(document), dom::DomError);
  EXPECT_THROW(CleanUpViewDocument(document), dom::DomError);

  auto link = Anchor("http://e.com/", "");
  link->failOn = {"ChildNodes"};
  std::static_pointer_cast<fake::Collection>(document.links)->items = {link};
  EXPECT_THROW(FillEmptyLinks(document), dom::DomError);
}

TEST(ViewCleanupFailures, ItemsWithoutTheTestedInterfaceAreSkipped) {
  fake::Document document;
  auto fonts = std::make_shared<fake::Collection>();
  auto notFont = std::make_shared<fake::Node>();
  auto font = std::make_shared<fake::Node>();
  font->isFont = true;
  fonts->items = {notFont, nullptr, font};
  std::static_pointer_cast<fake::Collection>(document.all)->tags["FONT"] = fonts;
  EXPECT_EQ(UnwrapFontTags(document), 1);
  EXPECT_TRUE(notFont->removals.empty());
  EXPECT_EQ(font->removals, std::vector<std::string>{"RemoveKeepingContent"});

  auto images = std::static_pointer_cast<fake::Collection>(document.images);
  auto notImage = std::make_shared<fake::Node>();
  auto image = std::make_shared<fake::Node>();
  image->isImage = true;
  image->src = "http://e.com/a\"b&c.png";
  image->alt = "say \"cheese\" & <smile>";
  images->items = {notImage, nullptr, image};
  EXPECT_EQ(SimplifyImages(document), 1);
  EXPECT_TRUE(notImage->outerHtmlWrites.empty());
  EXPECT_EQ(image->outerHtmlWrites,
            std::vector<std::string>{"<IMG src=\"http://e.com/a&quot;b&amp;c.png\" align=\"left\" "
                                     "alt=\"say &quot;cheese&quot; &amp; <smile>\">"});
}

}  // namespace
}  // namespace tavrin
