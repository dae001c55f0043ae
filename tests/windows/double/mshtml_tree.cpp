#include "mshtml_tree.h"

#include "browserview/ascii_case.h"

namespace tavrin::dom {

// The portable model defines these beside its gumbo parser, which the cross build lacks; the
// double links the tree and the serialiser without it.
const std::string* Node::FindAttribute(const std::string& attributeName) const {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == attributeName) return &attribute.value;
  }
  return nullptr;
}

void Node::SetAttribute(const std::string& attributeName, const std::string& value) {
  if (std::string* existing = const_cast<std::string*>(FindAttribute(attributeName))) {
    *existing = value;
  } else {
    attributes.push_back({attributeName, value});
  }
}

Node* NextInDocument(const Node* node, const Node* root, bool skipChildren) {
  if (!skipChildren && node->firstChild && !node->IsHtml("template")) return node->firstChild;
  for (; node != root; node = node->parent) {
    if (node->next) return node->next;
    if (!node->parent) return nullptr;
  }
  return nullptr;
}

}  // namespace tavrin::dom

namespace tavrin::test_double {

Node& CTree::NewNode(Node::Kind kind) {
  Node& node = arena.emplace_back();
  node.kind = kind;
  return node;
}

std::string CTree::AddressOf(const Node& element, const std::string& attribute) const {
  const std::string* value = element.FindAttribute(attribute);
  const auto found = resolved.find(&element);
  if (found != resolved.end() &&
      (value ? found->second.written == *value : !found->second.written)) {
    return found->second.address;
  }
  return value ? *value : std::string();
}

Node* CTree::Body() const {
  for (Node* html = root->firstChild; html; html = html->next) {
    if (!html->IsHtml("html")) continue;
    for (Node* node = html->firstChild; node; node = node->next) {
      if (node->IsHtml("body") || node->IsHtml("frameset")) return node;
    }
    return nullptr;
  }
  return nullptr;
}

std::string TagNameOf(const Node& element) {
  return element.ns == dom::Namespace::Html ? AsciiUpper(element.name) : element.name;
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

std::vector<Node*> SelectElements(const CTree& tree, Selection selection, const std::string& tag) {
  std::vector<Node*> elements;
  for (Node* node = tree.root; node; node = dom::NextInDocument(node, tree.root)) {
    if (Selects(selection, tag, *node)) elements.push_back(node);
  }
  return elements;
}

}  // namespace tavrin::test_double
