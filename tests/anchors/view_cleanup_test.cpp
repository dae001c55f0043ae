#include "anchors/view_cleanup.h"

#include <gtest/gtest.h>

#include "fake_dom.h"

namespace tavrin {
namespace {

// ---- Failure paths, on stand-ins -------------------------------------------------------------

std::shared_ptr<fake::Node> Anchor(const std::string& href, const std::string& innerHtml) {
  auto node = std::make_shared<fake::Node>();
  node->tagName = "A";
  node->isAnchor = true;
  node->href = href;
  node->innerHtml = innerHtml;
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
}

TEST(ViewCleanupFailures, MissingLinksCollectionEndsOnlyThatPass) {
  fake::Document document;
  document.all = nullptr;
  document.links = nullptr;
  EXPECT_EQ(FillEmptyLinks(document), 0);
  EXPECT_NO_THROW(CleanUpViewDocument(document));
}

TEST(ViewCleanupFailures, FailedTagsCallOrMissingImagesAbort) {
  fake::Document document;  // its `all` gives no collection for any tag name
  EXPECT_THROW(UnwrapFontTags(document), dom::DomError);
  EXPECT_THROW(RemoveTags(document, "SPAN"), dom::DomError);
  EXPECT_THROW(CleanUpViewDocument(document), dom::DomError);

  document.all = nullptr;
  document.images = nullptr;
  EXPECT_THROW(SimplifyImages(document), dom::DomError);
  EXPECT_THROW(CleanUpViewDocument(document), dom::DomError);
}

TEST(ViewCleanupFailures, ItemsWithoutTheTestedInterfaceAreSkipped) {
  fake::Document document;
  auto fonts = std::make_shared<fake::Collection>();
  auto notFont = std::make_shared<fake::Node>();
  auto font = std::make_shared<fake::Node>();
  font->isFont = true;
  font->innerHtml = "<b>x</b>";
  fonts->items = {notFont, nullptr, font};
  std::static_pointer_cast<fake::Collection>(document.all)->tags["FONT"] = fonts;
  EXPECT_EQ(UnwrapFontTags(document), 1);
  EXPECT_TRUE(notFont->outerHtmlWrites.empty());
  EXPECT_EQ(font->outerHtmlWrites, std::vector<std::string>{"<b>x</b>"});

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

TEST(ViewCleanupFailures, ElementFailureInsideAPassAborts) {
  fake::Document document;
  auto link = Anchor("http://e.com/", "");
  link->failOn = {"InnerHtml"};
  std::static_pointer_cast<fake::Collection>(document.links)->items = {link};
  EXPECT_THROW(FillEmptyLinks(document), dom::DomError);
}

}  // namespace
}  // namespace tavrin
