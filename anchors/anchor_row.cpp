#include "anchors/anchor_row.h"

#include <algorithm>

#include "anchors/anchor_constants.h"
#include "anchors/html_escape.h"

namespace tavrin {

std::string FormatFixedText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string result;
  std::size_t size = format.size();
  for (const std::string_view arg : args) size += arg.size();
  result.reserve(size);

  auto next = args.begin();
  while (!format.empty()) {
    const std::size_t percent = std::min(format.find('%'), format.size());
    result.append(format.substr(0, percent));
    format.remove_prefix(percent);
    if (format.size() < 2) {  // no "%" left, or one at the very end
      result.append(format);
      break;
    }
    const char directive = format[1];
    format.remove_prefix(2);
    if (directive == '%') {
      result += '%';
    } else if (directive == 's') {
      if (next != args.end()) result += *next++;
    } else {
      result += '%';
      result += directive;
    }
  }
  return result;
}

std::string FormatAnchorRow(const AnchorItem& item, RowParity parity) {
  const std::string title = EscapeHtml(StripTags(item.markup), kEscapeTitleAttribute);
  const std::string href = EscapeHtml(item.href, kEscapeHrefAttribute);
  return FormatFixedText(parity == RowParity::First ? kRowFirstParity : kRowSecondParity,
                         {href, title, item.markup});
}

std::string StripTags(std::string_view markup) {
  std::string result;
  result.reserve(markup.size());
  bool bInTag = false;
  for (const char c : markup) {
    if (c == '<') {
      bInTag = true;
    } else if (c == '>') {
      bInTag = false;
    } else if (!bInTag) {
      result += c;
    }
  }
  return result;
}

}  // namespace tavrin
