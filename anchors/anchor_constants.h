// The fixed texts of the anchor list, exactly as the view and its users expect them. The row
// and bare-image texts are format strings: "%%" stands for one percent sign and each "%s" takes
// one argument, in order (see FormatFixedText).
#pragma once

namespace tavrin {

inline constexpr char kTableOpening[] = "<TABLE WIDTH=\"100%\">";
inline constexpr char kTableClosing[] = "</TABLE>";

// The two parities differ only in the background colour of the link cell. Arguments: href,
// title, markup. The bullet is U+30FB KATAKANA MIDDLE DOT.
inline constexpr char kRowFirstParity[] =
    "<TR><TD width=\"0%%\" nowrap>・</TD><TD width=\"100%%\" BGCOLOR=\"#FFFFE0\" nowrap>"
    "<A HREF=\"%s\" title=\"%s\">%s</A></TD></TR>";
inline constexpr char kRowSecondParity[] =
    "<TR><TD width=\"0%%\" nowrap>・</TD><TD width=\"100%%\" BGCOLOR=\"#E0EEEE\" nowrap>"
    "<A HREF=\"%s\" title=\"%s\">%s</A></TD></TR>";

// Arguments: src, alt.
inline constexpr char kBareImage[] = "<IMG src=\"%s\" align=\"left\" alt=\"%s\">";

// The main browser's status text while a run lasts.
inline constexpr char kStatusParsing[] = "HTMLを解析しています。しばらくお待ちください。";

// scrollTo arguments that bring the view to its top-left corner.
inline constexpr long kScrollHome = -2000;

}  // namespace tavrin
