// The mutable tree behind the portable document model, and its HTML serialisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "browserview/document_model.h"

namespace tavrin::dom {

enum class Namespace : std::uint8_t { Html, Svg, MathMl };

// One node. Children form a doubly linked list, so that replacing a node costs the same on a
// page of ten links as on a page of a hundred thousand.
struct Node {
  enum class Kind : std::uint8_t { Document, Doctype, Element, Text, Comment } kind;
  Namespace ns = Namespace::Html;
  // Element: local name, lower case for HTML ("a"); as written for foreign elements
  // ("foreignObject"). Doctype: its name.
  std::string name;
  std::vector<Attribute> attributes;
  // Text and comment: the character data.
  std::string data;

  Node* parent = nullptr;
  Node* firstChild = nullptr;
  Node* lastChild = nullptr;
  Node* prev = nullptr;
  Node* next = nullptr;

  bool IsHtml(const char* localName) const {
    return kind == Kind::Element && ns == Namespace::Html && name == localName;
  }
  const std::string* FindAttribute(const std::string& attributeName) const;
  void SetAttribute(const std::string& attributeName, const std::string& value);
};

// The next node in document order, not entering the subtree of `node` when `skipChildren`.
// Template contents are not part of the document, so the walk never enters a template.
// Null after the last node under `root`.
Node* NextInDocument(const Node* node, const Node* root, bool skipChildren = false);

// What a document's collections hold: every element, links (A and AREA with an href) or images.
enum class Selection { All, Links, Images };
// Whether the collection holds `node`; a non-empty `tag` also requires that tag name, compared
// without regard to ASCII case.
bool Selects(Selection selection, const std::string& tag, const Node& node);

// The elements of a live collection, found lazily in document order. The pipeline changes the
// item it read last while it walks a collection; such a change keeps the items before it, so
// that a pass over a large page does not walk the tree once per item. Any other change, seen by
// the tree's change count, starts afresh.
class CLiveSelection {
 public:
  CLiveSelection(Selection selection, const std::string& tag, std::uint64_t version);

  // The elements as the tree under `root` is now, found up to `position` at least.
  const std::vector<Node*>& ItemsTo(std::size_t position, const Node* root, std::uint64_t version,
                                    const Node* lastChanged);
  void NoteRead(std::size_t position) { m_nLastIndex = position; }
  // The same selection narrowed to the tag `name`; a second, different tag selects nothing.
  CLiveSelection Tagged(const std::string& name, std::uint64_t version) const;

 private:
  Selection m_selection;
  std::string m_strTag;  // lower case; empty: any
  std::vector<Node*> m_arrItems;
  bool m_bComplete = false;
  std::uint64_t m_nVersion;
  std::size_t m_nLastIndex = SIZE_MAX;
};

// How markup is written: by the HTML standard, or as Internet Explorer 6 to 8 (and 9 without a
// doctype) write innerHTML, which the browser double plays: upper-case tag names, attribute
// values without quotes where they need none, CR LF before the start tag of a block element.
enum class Serialization : std::uint8_t { Html5, Ie };

// The HTML fragment serialisation of the children of `node` (what innerHTML gives).
std::string SerializeChildren(const Node& node, Serialization serialization = Serialization::Html5);
// The same by the HTML standard in pieces of about `pieceSize` bytes each, for a large document
// written out whole.
std::vector<std::string> SerializeChildrenInPieces(const Node& node, std::size_t pieceSize);

}  // namespace tavrin::dom
