// The tree's own operations, free of the parser, so that the Windows tests' browser double can
// hold the same tree and write the same markup.
#include "browserview/portable/html_tree.h"

#include "browserview/ascii_case.h"

namespace tavrin::dom {

const std::string* Node::FindAttribute(const std::string& attributeName) const {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == attributeName) return &attribute.value;
  }
  return nullptr;
}

void Node::SetAttribute(const std::string& attributeName, const std::string& value) {
  for (Attribute& attribute : attributes) {
    if (attribute.name == attributeName) {
      attribute.value = value;
      return;
    }
  }
  attributes.push_back({attributeName, value});
}

Node* NextInDocument(const Node* node, const Node* root, bool skipChildren) {
  if (!skipChildren && node->firstChild && !node->IsHtml("template")) return node->firstChild;
  while (node != root) {
    if (node->next) return node->next;
    node = node->parent;
    if (!node) return nullptr;
  }
  return nullptr;
}

bool Selects(Selection selection, const std::string& tag, const Node& node) {
  if (node.kind != Node::Kind::Element) return false;
  if (!tag.empty() && !EqualsIgnoringAsciiCase(node.name, tag)) return false;
  switch (selection) {
    case Selection::Links:
      return (node.IsHtml("a") || node.IsHtml("area")) && node.FindAttribute("href");
    case Selection::Images:
      return node.IsHtml("img");
    case Selection::All:
      return true;
  }
  return false;
}

}  // namespace tavrin::dom
