// The HTML standard's fragment serialisation algorithm, written without recursion so that a
// deeply nested page cannot exhaust the stack.
#include <array>
#include <string_view>
#include <utility>

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

void AppendStartTag(const Node& node, std::string& out) {
  out += '<';
  out += node.name;
  for (const Attribute& attribute : node.attributes) {
    out += ' ';
    out += attribute.name;
    out += "=\"";
    AppendEscaped(attribute.value, true, out);
    out += '"';
  }
  out += '>';
}

// Writes what comes before the children of `node`; false when it has no children to write.
bool AppendOpening(const Node& node, std::string& out) {
  switch (node.kind) {
    case Node::Kind::Element:
      AppendStartTag(node, out);
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

void AppendClosing(const Node& node, std::string& out) {
  if (node.kind != Node::Kind::Element) return;
  out += "</";
  out += node.name;
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

// Serialises the children of `container`, the container itself only when `withContainer`.
void SerializeTree(const Node& container, bool withContainer, Sink sink) {
  std::string& out = sink.out;
  if (withContainer && !AppendOpening(container, out)) return;
  const Node* node = container.firstChild;
  while (node) {
    sink.EndPieceWhenFull();
    if (AppendOpening(*node, out) && node->firstChild) {
      node = node->firstChild;
      continue;
    }
    if (node->kind == Node::Kind::Element && !IsHtmlOneOf(*node, kVoidElements)) {
      AppendClosing(*node, out);
    }
    // Climb until a next sibling exists, closing the elements left behind.
    while (!node->next && node->parent != &container) {
      node = node->parent;
      AppendClosing(*node, out);
    }
    node = node->next;
  }
  if (withContainer) AppendClosing(container, out);
}

}  // namespace

std::string SerializeChildren(const Node& node) {
  std::string out;
  SerializeTree(node, false, {out});
  return out;
}

std::vector<std::string> SerializeChildrenInPieces(const Node& node, std::size_t pieceSize) {
  std::vector<std::string> pieces;
  std::string out;
  out.reserve(pieceSize + pieceSize / 4);
  SerializeTree(node, false, {out, &pieces, pieceSize});
  pieces.push_back(std::move(out));
  return pieces;
}

void SerializeNode(const Node& node, std::string& out) {
  SerializeTree(node, true, {out});
}

}  // namespace tavrin::dom
