#include "mshtml_tree.h"

#include "browserview/ascii_case.h"
#include "mshtml_markup.h"

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

void CopyPage(const CTree& from, CTree& to) {
  to.url = from.url;
  to.frames = from.frames;
  std::unordered_map<const Node*, Node*> copies;
  const auto copyOf = [&](const Node& source) -> Node& {
    Node& copy = to.arena.emplace_back(source);
    copy.parent = copy.firstChild = copy.lastChild = copy.prev = copy.next = nullptr;
    copies.emplace(&source, &copy);
    return copy;
  };
  to.root = &copyOf(*from.root);
  // Template contents too, which the document order leaves out; without recursion.
  for (const Node* node = from.root->firstChild; node;) {
    AppendChild(*copies.at(node->parent), copyOf(*node));
    if (node->firstChild) {
      node = node->firstChild;
      continue;
    }
    while (node != from.root && !node->next) node = node->parent;
    node = node == from.root ? nullptr : node->next;
  }
  for (const auto& [element, address] : from.resolved) {
    const auto copy = copies.find(element);
    if (copy != copies.end()) to.resolved.emplace(copy->second, address);
  }
}

std::string TagNameOf(const Node& element) {
  return element.ns == dom::Namespace::Html ? AsciiUpper(element.name) : element.name;
}

std::vector<Node*> SelectElements(const CTree& tree, Selection selection, const std::string& tag) {
  std::vector<Node*> elements;
  for (Node* node = tree.root; node; node = dom::NextInDocument(node, tree.root)) {
    if (Selects(selection, tag, *node)) elements.push_back(node);
  }
  return elements;
}

}  // namespace tavrin::test_double
