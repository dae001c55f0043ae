// The HTML standard's fragment serialisation algorithm, written without recursion so that a
// deeply nested page cannot exhaust the stack, and the legacy engine's variant of it.
#include <array>
#include <string_view>
#include <utility>

#include "browserview/ascii_case.h"
#include "browserview/portable/html_tree.h"

namespace tavrin::dom {
namespace {

constexpr std::array<std::string_view, 17> kVoidElements = {
    "area", "base",  "basefont", "bgsound", "br",   "col",   "embed",  "frame", "hr",
    "img",  "input", "keygen",   "link",    "meta", "param", "source", "track"};

// Text inside these is written as it stands. noscript belongs here because the document is
// parsed as by a browser with scripting enabled.
constexpr std::array<std::string_view, 8> kRawTextElements = {
    "style", "script", "xmp", "iframe", "noembed", "noframes", "plaintext", "noscript"};

// The legacy engine starts a line before each of these.
constexpr std::array<std::string_view, 33> kBlockElements = {
    "address", "blockquote", "caption", "center", "dd",    "dir",   "div",     "dl",    "dt",
    "fieldset", "form",      "h1",      "h2",     "h3",    "h4",    "h5",      "h6",    "hr",
    "li",      "listing",    "menu",    "ol",     "p",     "plaintext", "pre", "table", "tbody",
    "td",      "tfoot",      "th",      "thead",  "tr",    "ul"};

template <std::size_t N>
bool IsHtmlOneOf(const Node& node, const std::array<std::string_view, N>& names) {
  if (node.kind != Node::Kind::Element || node.ns != Namespace::Html) return false;
  for (std::string_view name : names) {
    if (node.name == name) return true;
  }
  return false;
}

// The reference written for the character at `i`, and how many bytes it replaces; null for
// a character written as it is.
const char* ReferenceAt(std::string_view text, std::size_t i, bool inAttribute,
                        std::size_t& length) {
  length = 1;
  switch (text[i]) {
    case '&':
      return "&amp;";
    case '"':
      return inAttribute ? "&quot;" : nullptr;
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '\xC2':
      if (i + 1 == text.size() || text[i + 1] != '\xA0') return nullptr;
      length = 2;
      return "&nbsp;";
    default:
      return nullptr;
  }
}

void AppendEscaped(std::string_view text, bool inAttribute, std::string& out) {
  std::size_t start = 0;  // the run of characters written as they are is copied whole
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 0;
    const char* reference = ReferenceAt(text, i, inAttribute, length);
    if (!reference) continue;
    out.append(text, start, i - start);
    out += reference;
    i += length - 1;
    start = i + 1;
  }
  out.append(text, start);
}

// The legacy engine leaves out the quotes of a value that holds no white space, quote mark or
// angle bracket; a backtick does not count, so a value can start with an attribute quote of its
// own parser.
bool NeedsQuotes(std::string_view value) {
  return value.empty() || value.find_first_of(" \t\n\f\r\"'<>") != std::string_view::npos;
}

void AppendTagName(const Node& node, Serialization serialization, std::string& out) {
  out += serialization == Serialization::Ie && node.ns == Namespace::Html ? AsciiUpper(node.name)
                                                                          : node.name;
}

void AppendStartTag(const Node& node, Serialization serialization, std::string& out) {
  if (serialization == Serialization::Ie && IsHtmlOneOf(node, kBlockElements)) out += "\r\n";
  out += '<';
  AppendTagName(node, serialization, out);
  for (const Attribute& attribute : node.attributes) {
    out += ' ';
    out += attribute.name;
    out += '=';
    const bool quoted = serialization == Serialization::Html5 || NeedsQuotes(attribute.value);
    if (quoted) out += '"';
    AppendEscaped(attribute.value, true, out);
    if (quoted) out += '"';
  }
  out += '>';
}

// Writes what comes before the children of `node`; false when it has no children to write.
bool AppendOpening(const Node& node, Serialization serialization, std::string& out) {
  switch (node.kind) {
    case Node::Kind::Element:
      AppendStartTag(node, serialization, out);
      return !IsHtmlOneOf(node, kVoidElements);
    case Node::Kind::Text:
      if (node.parent && IsHtmlOneOf(*node.parent, kRawTextElements)) {
        out += node.data;
      } else {
        AppendEscaped(node.data, false, out);
      }
      return false;
    case Node::Kind::Comment:
      out += "<!--" + node.data + "-->";
      return false;
    case Node::Kind::Doctype:
      out += "<!DOCTYPE " + node.name + ">";
      return false;
    case Node::Kind::Document:
      return true;
  }
  return false;
}

void AppendClosing(const Node& node, Serialization serialization, std::string& out) {
  if (node.kind != Node::Kind::Element) return;
  out += "</";
  AppendTagName(node, serialization, out);
  out += '>';
}

// Where a serialisation goes: one string, or with `pieces` a string handed over to them each
// time it holds `pieceSize` bytes, so that a large document is never copied into ever larger
// strings.
struct Sink {
  std::string& out;
  std::vector<std::string>* pieces = nullptr;
  std::size_t pieceSize = 0;

  void EndPieceWhenFull() {
    if (!pieces || out.size() < pieceSize) return;
    pieces->push_back(std::move(out));
    out = std::string();
    out.reserve(pieceSize + pieceSize / 4);  // room for the node that fills it
  }
};

// Serialises the children of `container`.
void SerializeTree(const Node& container, Serialization serialization, Sink sink) {
  std::string& out = sink.out;
  const Node* node = container.firstChild;
  while (node) {
    sink.EndPieceWhenFull();
    if (AppendOpening(*node, serialization, out) && node->firstChild) {
      node = node->firstChild;
      continue;
    }
    if (node->kind == Node::Kind::Element && !IsHtmlOneOf(*node, kVoidElements)) {
      AppendClosing(*node, serialization, out);
    }
    // Climb until a next sibling exists, closing the elements left behind.
    while (!node->next && node->parent != &container) {
      node = node->parent;
      AppendClosing(*node, serialization, out);
    }
    node = node->next;
  }
}

}  // namespace

std::string SerializeChildren(const Node& node, Serialization serialization) {
  std::string out;
  SerializeTree(node, serialization, {out});
  return out;
}

std::vector<std::string> SerializeChildrenInPieces(const Node& node, std::size_t pieceSize) {
  std::vector<std::string> pieces;
  std::string out;
  out.reserve(pieceSize + pieceSize / 4);
  SerializeTree(node, Serialization::Html5, {out, &pieces, pieceSize});
  pieces.push_back(std::move(out));
  return pieces;
}

}  // namespace tavrin::dom
