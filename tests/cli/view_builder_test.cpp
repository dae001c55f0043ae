#include "cli/view_builder.h"

#include <gtest/gtest.h>

#include <functional>

#include "anchors/view_cleanup.h"

namespace tavrin::cli {
namespace {

constexpr char kViewPage[] =
    "<html><head></head><body leftmargin=\"0\"><center>\xE3\x80\x80</center></body></html>";

using SinkCalls = std::function<void(IAnchorSink&)>;

// The view as the bar builds it, from the whole list's text, and as the builder builds it.
std::pair<std::string, std::string> BothViews(const SinkCalls& calls) {
  std::string list;
  CAnchorTableWriter writer(list);
  calls(writer);
  auto whole = dom::CHtmlDocument::Parse(kViewPage, "about:blank");
  ShowAnchorList(*whole, list);

  auto built = dom::CHtmlDocument::Parse(kViewPage, "about:blank");
  CViewBuilder builder(*built);
  calls(builder);
  builder.Finish();
  return {whole->Serialize(), built->Serialize()};
}

// Links whose content and addresses reach every branch: plain text, references, characters
// the parser changes, the sanitiser's elements nested, misnested and repeated, and elements it
// unwraps that would end a cell or a table if they got through.
TEST(ViewBuilder, GivesTheTreeOfTheWholeListForEveryKindOfLink) {
  const char* const kLinks[] = {
      "<a href=\"/plain\">Plain text</a>",
      "<a href=\"/refs?a=1&amp;b=&quot;2&quot;\">a &amp; b &lt;c&gt; \"d\" 'e'</a>",
      "<a href=\"/cr&#13;lf\">line&#13;end&#13;&#10;next &#0; nul</a>",
      "<a href=\"/blank\">   </a>",
      "<a href=\"/empty\"></a>",
      "<a href=\"/\xE6\x97\xA5\">\xE6\x97\xA5\xE6\x9C\xAC &#x1F600;</a>",
      "<a href=\"/font\"><font color='\"red\" &amp;' size=2 face=x>red</font> after</a>",
      "<a href=\"/img\"><img src=\"i.png\" alt='say \"hi\" &amp; <go>' width=3>tail</a>",
      "<a href=\"/br\"><span>News</span><br>Headline<wbr>s</a>",
      "<a href=\"/nobr\"><nobr>one<div><nobr>two</nobr></div>three</nobr></a>",
      "<a href=\"/mis\"><b>bold<i>both</b>italic</i> plain</a>",
      "<a href=\"/deep\"><div><b><u><s><em>x<div>y</div>z</em></s></u></b></div></a>",
      "<a href=\"/unwrapped\"><p>para</p><table><tr><td>cell</td></tr></table>after</a>",
      "<a href=\"/same\"><b>1</b><b>2</b><b>3</b><b>4</b><b><b><b><b>5</b></b></b></b></a>",
      "<a href=\"/dropped\"><script>x()</script><select><option>o</select>kept</a>",
      "<a href=\"/gt\">a > b</a>",
  };
  std::string body;
  for (const char* link : kLinks) body += link;
  auto page = dom::CHtmlDocument::Parse("<html><body>" + body + "</body></html>",
                                        "http://www.example.com/dir/");
  const auto [whole, built] = BothViews(
      [&](IAnchorSink& sink) { ASSERT_TRUE(ListAnchors({.frameDocuments = {}}, page, sink)); });
  EXPECT_EQ(built, whole);
  EXPECT_NE(built.find("/refs"), std::string::npos);
}

// Tables of one run in every shape: none, empty, several, and one a failure left unclosed.
TEST(ViewBuilder, GivesTheTreeOfTheWholeListForEveryShapeOfTables) {
  const AnchorItem kRow{"http://e.com/a?x=1&y=\"2\"", "A &amp; <b>B</b>"};
  const AnchorItem kPlain{"http://e.com/b", "B"};
  const std::vector<std::pair<const char*, SinkCalls>> kShapes = {
      {"no tables", [](IAnchorSink&) {}},
      {"an empty table",
       [](IAnchorSink& sink) {
         sink.OpenTable("u");
         sink.CloseTable();
       }},
      {"tables with rows and an empty one",
       [&](IAnchorSink& sink) {
         sink.OpenTable("u");
         for (int i = 0; i < 5; ++i) sink.AddRow(i % 2 ? kRow : kPlain);
         sink.CloseTable();
         sink.OpenTable("v");
         sink.CloseTable();
         sink.OpenTable("w");
         sink.AddRow(kPlain);
         sink.CloseTable();
       }},
      {"an unclosed table",
       [&](IAnchorSink& sink) {
         sink.OpenTable("u");
         sink.AddRow(kRow);
         sink.OpenTable("v");
         sink.AddRow(kPlain);
         sink.AddRow(kRow);
         sink.CloseTable();
       }},
  };
  for (const auto& [name, calls] : kShapes) {
    const auto [whole, built] = BothViews(calls);
    EXPECT_EQ(built, whole) << name;
  }
}

}  // namespace
}  // namespace tavrin::cli
