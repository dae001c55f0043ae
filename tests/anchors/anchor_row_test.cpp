#include "anchors/anchor_row.h"

#include <gtest/gtest.h>

#include "anchors/anchor_constants.h"

namespace tavrin {
namespace {

TEST(StripTags, DropsTagsByteByByteWithoutNestingOrQuotes) {
  EXPECT_EQ(StripTags("<B>News</B> &amp; more"), "News &amp; more");
  EXPECT_EQ(StripTags("<img src=\"x.png\" alt=\"a\">"), "");
  EXPECT_EQ(StripTags("a > b"), "a  b");
  EXPECT_EQ(StripTags("x < y"), "x ");
  EXPECT_EQ(StripTags("<a title=\"1>2\">t</a>"), "2\"t");
  EXPECT_EQ(StripTags("  <b>日本語</b>\n한국어 😀 "), "  日本語\n한국어 😀 ");
}

TEST(FormatFixedText, SubstitutesInOrderAndNeverReadsArgumentsAsFormats) {
  EXPECT_EQ(FormatFixedText("100%% %s-%s", {"a", "%s%%"}), "100% a-%s%%");
  EXPECT_EQ(FormatFixedText("%s%s|50%d%", {"only"}), "only|50%d%");
  EXPECT_EQ(FormatFixedText(kBareImage, {"s", "a"}), "<IMG src=\"s\" align=\"left\" alt=\"a\">");
}

TEST(FormatAnchorRow, ExactTextOfBothParities) {
  const AnchorItem item{"http://example.com/a", "<b>News</b> &amp; more"};
  const std::string tail =
      " nowrap><A HREF=\"http://example.com/a\" title=\"News &amp; more\"><b>News</b> &amp; more"
      "</A></TD></TR>";
  EXPECT_EQ(FormatAnchorRow(item, RowParity::First),
            "<TR><TD width=\"0%\" nowrap>・</TD><TD width=\"100%\" BGCOLOR=\"#FFFFE0\"" + tail);
  EXPECT_EQ(FormatAnchorRow(item, RowParity::Second),
            "<TR><TD width=\"0%\" nowrap>・</TD><TD width=\"100%\" BGCOLOR=\"#E0EEEE\"" + tail);
  EXPECT_EQ(Flip(RowParity::First), RowParity::Second);
  EXPECT_EQ(Flip(RowParity::Second), RowParity::First);
  EXPECT_NE(FormatAnchorRow({"h", "<img src=\"i\">"}, RowParity::First).find("title=\"\">"),
            std::string::npos);
}

TEST(FormatAnchorRow, EscapesWhatWouldEndTheAttributes) {
  // Markup as the sanitiser gives it: a quote in text stays, & < > are entities.
  const std::string row = FormatAnchorRow(
      {"http://e.com/?a=1&b=\"2\"", "say \"hi\" &amp; &lt;go&gt;"}, RowParity::First);
  EXPECT_NE(row.find("HREF=\"http://e.com/?a=1&amp;b=&quot;2&quot;\""), std::string::npos) << row;
  // The title keeps the entity references for the view to decode; only quotes are escaped.
  EXPECT_NE(
      row.find("title=\"say &quot;hi&quot; &amp; &lt;go&gt;\">say \"hi\" &amp; &lt;go&gt;</A>"),
      std::string::npos)
      << row;
}

}  // namespace
}  // namespace tavrin
