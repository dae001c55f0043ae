// ASCII letter case and white space, as HTML and URLs compare tag names, schemes, hosts and
// labels and split attributes and text: only A-Z and a-z fold, whatever the locale, so UTF-8
// bytes pass untouched (and no other letter, such as the dotless i, passes for an ASCII one).
#pragma once

#include <algorithm>
#include <concepts>
#include <string>
#include <string_view>

namespace tavrin {

// HTML's white space: no vertical tab, no non-ASCII space.
constexpr bool IsAsciiWhitespace(char c) {
  return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

// UTF-8 bytes, and UTF-16 units of the names that come through COM.
template <class Char>
  requires std::same_as<Char, char> || std::same_as<Char, wchar_t>
constexpr Char AsciiLower(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + 32) : c;
}
constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
  return lower;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return AsciiUpper(c); });
  return upper;
}

template <class Char>
bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](Char x, Char y) { return AsciiLower(x) == AsciiLower(y); });
}
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return EqualsIgnoringAsciiCase<char>(a, b);
}
inline bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  return EqualsIgnoringAsciiCase<wchar_t>(a, b);
}

}  // namespace tavrin
