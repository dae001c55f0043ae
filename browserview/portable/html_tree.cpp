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

CLiveSelection::CLiveSelection(Selection selection, const std::string& tag, std::uint64_t version)
    : m_selection(selection), m_strTag(AsciiLower(tag)), m_nVersion(version) {}

const std::vector<Node*>& CLiveSelection::ItemsTo(std::size_t position, const Node* root,
                                                  std::uint64_t version, const Node* lastChanged) {
  if (m_nVersion != version) {
    const bool onlyLastItemChanged = m_nVersion + 1 == version &&
                                     m_nLastIndex < m_arrItems.size() &&
                                     m_arrItems[m_nLastIndex] == lastChanged;
    m_arrItems.resize(onlyLastItemChanged ? m_nLastIndex : 0);
    m_bComplete = false;
    m_nVersion = version;
  }
  const Node* node = m_arrItems.empty() ? root : m_arrItems.back();
  while (!m_bComplete && m_arrItems.size() <= position) {
    do {
      node = NextInDocument(node, root);
    } while (node && !Selects(m_selection, m_strTag, *node));
    if (node) {
      m_arrItems.push_back(const_cast<Node*>(node));
    } else {
      m_bComplete = true;
    }
  }
  return m_arrItems;
}

CLiveSelection CLiveSelection::Tagged(const std::string& name, std::uint64_t version) const {
  // "\n" is no element's name.
  const std::string lower = AsciiLower(name);
  return CLiveSelection(m_selection, m_strTag.empty() || m_strTag == lower ? lower : "\n", version);
}

}  // namespace tavrin::dom
