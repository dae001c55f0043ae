// The text of one row of the anchor list and its tooltip.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tavrin {

// One accepted link: its absolute address and its sanitised markup (see SanitizeLinkMarkup).
struct AnchorItem {
  std::string href;
  std::string markup;
};

// Per table: the first row is pale yellow, and each appended row flips the parity.
enum class RowParity { First, Second };

inline RowParity Flip(RowParity parity) {
  return parity == RowParity::First ? RowParity::Second : RowParity::First;
}

// Formats a fixed text: "%%" gives "%", each "%s" the next argument (an empty text when the
// arguments run out). Any other character after "%" is copied as it is.
std::string FormatFixedText(std::string_view format, std::initializer_list<std::string_view> args);

// The row of the given parity. The href is escaped for its attribute; the title is
// StripTags(markup) with only `"` escaped, so the markup's entity references still decode there.
std::string FormatAnchorRow(const AnchorItem& item, RowParity parity);

// The text without tags: "<" starts a tag and ">" ends it, neither is kept; no nesting, quotes,
// comments or entities are recognised. Safe on UTF-8, whose multi-byte sequences hold no ASCII.
std::string StripTags(std::string_view markup);

}  // namespace tavrin
