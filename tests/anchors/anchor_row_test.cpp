#include "anchors/anchor_row.h"

#include <gtest/gtest.h>

#include "anchors/anchor_constants.h"
#include "anchors/html_escape.h"

namespace tavrin {
namespace {

TEST(StripTags, DropsTagsAndKeepsEverythingElse) {
  EXPECT_EQ(StripTags("<B>News</B> &amp; more"), "News &amp; more");
  EXPECT_EQ(StripTags("  two\n lines  "), "  two\n lines  ");
  EXPECT_EQ(StripTags("<img src=\"x.png\" alt=\"a\">"), "");
  EXPECT_EQ(StripTags(""), "");
}

TEST(StripTags, HasNoNotionOfNestingQuotesOrComments) {
  EXPECT_EQ(StripTags("a > b"), "a  b");
  EXPECT_EQ(StripTags("x < y"), "x ");
  EXPECT_EQ(StripTags("<a title=\"1>2\">t</a>"), "2\"t");
  EXPECT_EQ(StripTags("<!-- c -->t"), "t");
  EXPECT_EQ(StripTags("<<b>>x"), "x");
}

TEST(StripTags, KeepsMultiByteTextWhole) {
  // Japanese, Hangul and an emoji: none of them is in code page 932 all together.
  EXPECT_EQ(StripTags("<b>日本語</b> 한국어 😀"), "日本語 한국어 😀");
}

TEST(FormatFixedText, SubstitutesInOrderAndCollapsesPercent) {
  EXPECT_EQ(FormatFixedText("%s-%s", {"a", "b"}), "a-b");
  EXPECT_EQ(FormatFixedText("100%% %s", {"x"}), "100% x");
  EXPECT_EQ(FormatFixedText("%s%s", {"only"}), "only");
  EXPECT_EQ(FormatFixedText("50%d%", {}), "50%d%");
  // An argument is never read as a format.
  EXPECT_EQ(FormatFixedText("[%s]", {"%s%%"}), "[%s%%]");
}

TEST(FormatAnchorRow, FirstAndSecondParityExactly) {
  const AnchorItem item{"http://example.com/a", "<b>News</b> &amp; more"};
  EXPECT_EQ(FormatAnchorRow(item, RowParity::First),
            "<TR><TD width=\"0%\" nowrap>・</TD><TD width=\"100%\" BGCOLOR=\"#FFFFE0\" nowrap>"
            "<A HREF=\"http://example.com/a\" title=\"News &amp; more\"><b>News</b> &amp; more"
            "</A></TD></TR>");
  EXPECT_EQ(FormatAnchorRow(item, RowParity::Second),
            "<TR><TD width=\"0%\" nowrap>・</TD><TD width=\"100%\" BGCOLOR=\"#E0EEEE\" nowrap>"
            "<A HREF=\"http://example.com/a\" title=\"News &amp; more\"><b>News</b> &amp; more"
            "</A></TD></TR>");
  EXPECT_EQ(Flip(RowParity::First), RowParity::Second);
  EXPECT_EQ(Flip(RowParity::Second), RowParity::First);
}

TEST(FormatAnchorRow, EscapesWhatWouldEndTheAttributes) {
  // Markup as the sanitiser gives it: a quote in text stays, & < > are entities.
  const AnchorItem item{"http://e.com/?a=1&b=\"2\"", "say \"hi\" &amp; &lt;go&gt;"};
  const std::string row = FormatAnchorRow(item, RowParity::First);
  EXPECT_NE(row.find("HREF=\"http://e.com/?a=1&amp;b=&quot;2&quot;\""), std::string::npos) << row;
  // The title's entity references are kept for the view to decode; only quotes are escaped.
  EXPECT_NE(row.find("title=\"say &quot;hi&quot; &amp; &lt;go&gt;\""), std::string::npos) << row;
  EXPECT_NE(row.find(">say \"hi\" &amp; &lt;go&gt;</A>"), std::string::npos) << row;
}

TEST(FormatAnchorRow, ImageMarkupGivesEmptyTitle) {
  const std::string row =
      FormatAnchorRow({"http://e.com/", "<img src=\"http://e.com/i.png\" alt=\"logo\">"},
                      RowParity::First);
  EXPECT_NE(row.find("title=\"\">"), std::string::npos) << row;
}

TEST(FormatAnchorRow, KeepsTextOutsideAnyLegacyCodePage) {
  const std::string row =
      FormatAnchorRow({"http://e.com/%F0%9F%98%80", "한국어 😀 €"}, RowParity::First);
  EXPECT_NE(row.find("title=\"한국어 😀 €\">한국어 😀 €</A>"), std::string::npos) << row;
}

TEST(EscapeHtml, ReplacesOnlyTheNamedCharacters) {
  EXPECT_EQ(EscapeHtml("a&b<c>d\"e'", kEscapeText), "a&amp;b&lt;c&gt;d\"e'");
  EXPECT_EQ(EscapeHtml("a&b<c>d\"e'", kEscapeAttribute), "a&amp;b&lt;c&gt;d&quot;e'");
  EXPECT_EQ(EscapeHtml("a&b<c>d\"e'", kEscapeHrefAttribute), "a&amp;b<c>d&quot;e'");
  EXPECT_EQ(EscapeHtml("a&b<c>d\"e'", kEscapeTitleAttribute), "a&b<c>d&quot;e'");
}

TEST(AnchorConstants, TablesAreExact) {
  EXPECT_STREQ(kTableOpening, "<TABLE WIDTH=\"100%\">");
  EXPECT_STREQ(kTableClosing, "</TABLE>");
  EXPECT_EQ(FormatFixedText(kBareImage, {"s", "a"}), "<IMG src=\"s\" align=\"left\" alt=\"a\">");
}

}  // namespace
}  // namespace tavrin
