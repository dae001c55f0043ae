#include "anchors/markup_sanitizer.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "anchors/html_escape.h"
#include "browserview/ascii_case.h"

namespace tavrin {
namespace {

enum class Disposition {
  Keep,    // emitted with its allowed attributes, content walked
  Void,    // emitted without an end tag, content ignored
  Drop,    // left out together with its content
  Unwrap,  // only its content is emitted
};

constexpr std::array<std::string_view, 18> kPhrasingElements = {
    "b",   "i",   "u",  "s",    "strike", "em",   "strong", "small", "big",
    "sub", "sup", "tt", "code", "abbr",   "nobr", "font",   "span",  "div"};

constexpr std::array<std::string_view, 3> kVoidElements = {"img", "br", "wbr"};

// Everything that runs script, holds or loads active content, or submits: never shown.
constexpr std::array<std::string_view, 38> kDroppedElements = {
    "script",   "style",  "iframe", "frame",    "frameset", "object",   "embed",    "applet",
    "param",    "form",   "input",  "button",   "select",   "textarea", "option",   "optgroup",
    "datalist", "keygen", "output", "fieldset", "legend",   "isindex",  "meta",     "link",
    "base",     "svg",    "math",   "template", "noscript", "noembed",  "noframes", "xml",
    "bgsound",  "audio",  "video",  "source",   "track",    "portal"};

constexpr std::array<std::string_view, 6> kImageAttributes = {"src",    "alt",    "width",
                                                              "height", "border", "align"};
constexpr std::array<std::string_view, 3> kFontAttributes = {"color", "size", "face"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& set, std::string_view name) {
  return std::find(set.begin(), set.end(), name) != set.end();
}

Disposition Classify(std::string_view tag) {
  // The parser nests links through td, th, caption, marquee, object and applet. A nested link
  // has its own row, so repeating it here would make the list grow with the square of the page.
  if (tag == "a") return Disposition::Drop;
  if (Contains(kVoidElements, tag)) return Disposition::Void;
  if (Contains(kPhrasingElements, tag)) return Disposition::Keep;
  if (Contains(kDroppedElements, tag)) return Disposition::Drop;
  return Disposition::Unwrap;
}

// An image address the view may load: http, https or an inline image. Browsers ignore leading
// and trailing blanks and controls and every tab and newline inside, so the test does too.
bool IsSafeImageSource(std::string_view src) {
  std::string scheme;
  for (const char c : src) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (scheme.empty() && static_cast<unsigned char>(c) <= 0x20) continue;
    scheme += c;
    if (scheme.size() == 11) break;  // enough for the longest prefix, "data:image/"
  }
  scheme = AsciiLower(scheme);
  return scheme.starts_with("http:") || scheme.starts_with("https:") ||
         scheme.starts_with("data:image/");
}

bool IsAllowedAttribute(std::string_view tag, const dom::Attribute& attribute) {
  const std::string name = AsciiLower(attribute.name);
  if (tag == "img") {
    if (!Contains(kImageAttributes, name)) return false;
    return name != "src" || IsSafeImageSource(attribute.value);
  }
  if (tag == "font") return Contains(kFontAttributes, name);
  return false;
}

void AppendStartTag(std::string& out, std::string_view tag, const dom::INode& element) {
  out += '<';
  out += tag;
  for (const dom::Attribute& attribute : element.Attributes()) {
    if (!IsAllowedAttribute(tag, attribute)) continue;
    out += ' ';
    out += AsciiLower(attribute.name);
    out += "=\"";
    out += EscapeHtml(attribute.value, kEscapeAttribute);
    out += '"';
  }
  out += '>';
}

}  // namespace

std::string SanitizeLinkMarkup(const dom::INode& link) {
  // Iterative, so that a deeply nested page cannot exhaust the stack.
  struct Level {
    std::vector<dom::NodePtr> children;
    std::size_t next = 0;
    std::string endTag;
  };
  std::string out;
  std::vector<Level> levels;
  levels.push_back({link.ChildNodes(), 0, {}});

  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.children.size()) {
      out += level.endTag;
      levels.pop_back();
      continue;
    }
    const dom::NodePtr node = level.children[level.next++];
    if (!node) continue;

    switch (node->Type()) {
      case dom::NodeType::Text:
        out += EscapeHtml(node->Data(), kEscapeText);
        break;
      case dom::NodeType::Other:  // comments, processing instructions
        break;
      case dom::NodeType::Element: {
        const std::string tag = AsciiLower(node->TagName());
        const Disposition disposition = Classify(tag);
        if (disposition == Disposition::Drop) break;
        if (disposition == Disposition::Keep || disposition == Disposition::Void) {
          AppendStartTag(out, tag, *node);
        }
        if (disposition == Disposition::Void) break;
        std::string endTag = disposition == Disposition::Keep ? "</" + tag + ">" : std::string();
        levels.push_back({node->ChildNodes(), 0, std::move(endTag)});
        break;
      }
    }
  }
  return out;
}

}  // namespace tavrin
