// Escaping of text put into HTML, one character set per context.
#pragma once

#include <string>
#include <string_view>

namespace tavrin {

// Sets for EscapeHtml: what ends the context, and nothing more.
inline constexpr std::string_view kEscapeText = "&<>";           // text content
inline constexpr std::string_view kEscapeAttribute = "&<>\"";    // sanitised attribute values
inline constexpr std::string_view kEscapeHrefAttribute = "&\"";  // href, src, alt of the list
inline constexpr std::string_view kEscapeTitleAttribute = "\"";  // entity references stay live

// Replaces each character of `text` that is in `chars` (a subset of & < > ") by its entity.
// Copies the runs between them whole: most text has nothing to escape.
inline std::string EscapeHtml(std::string_view text, std::string_view chars) {
  // Looked up once: a search of `chars` at every character costs more than the copying.
  auto in = [chars](char c) { return chars.find(c) != std::string_view::npos; };
  const bool bAmp = in('&'), bLess = in('<'), bGreater = in('>'), bQuote = in('"');
  auto isEscaped = [=](char c) {
    return (c == '&' && bAmp) || (c == '<' && bLess) || (c == '>' && bGreater) ||
           (c == '"' && bQuote);
  };
  std::string result;
  result.reserve(text.size());
  for (std::size_t start = 0;;) {
    std::size_t found = start;
    while (found < text.size() && !isEscaped(text[found])) ++found;
    result.append(text.substr(start, found - start));
    if (found == text.size()) return result;
    const char c = text[found];
    result += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&quot;";
    start = found + 1;
  }
}

}  // namespace tavrin
