// The double's documents: trees of the portable model's node type, grouped in sets that share
// one lifetime (a snapshot's documents show one another in frames).
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "browserview/portable/html_tree.h"
#include "framework/com_ptr.h"

struct IHTMLDocument2;
struct IHTMLEventObj;

namespace tavrin::test_double {

using dom::Node;

class CNodeObject;
class CDocumentObject;
class CWindowObject;

struct CTree {
  std::string url;
  std::deque<Node> arena;  // every node ever made, never moved
  Node* root = nullptr;
  // Per direct frame: the index in the set of the document it shows; empty when refused.
  std::vector<std::optional<std::size_t>> frames;
  // Grows with every change of what a collection could select; `lastChanged` is the element
  // replaced, or whose children or attributes changed, by the latest one.
  std::uint64_t version = 0;
  const Node* lastChanged = nullptr;
  std::vector<std::pair<long, long>> scrolls;
  // window.event: the document event being fired (held by its firing), else null.
  IHTMLEventObj* currentEvent = nullptr;
  // What IDoubleDocument::SetPropertyChangeHandler set.
  tavrin::ComPtr<IDispatch> propertyChangeHandler;
  // Replaced by a navigation: every call on its objects fails.
  bool tornDown = false;

  // The address the loading parser resolved, valid while the attribute still holds `written`.
  struct Resolved {
    std::optional<std::string> written;
    std::string address;
  };
  std::unordered_map<const Node*, Resolved> resolved;

  // The COM objects alive for this tree (not owned), so one node keeps one identity.
  CDocumentObject* document = nullptr;
  CWindowObject* window = nullptr;
  std::unordered_map<const Node*, CNodeObject*> nodes;

  Node& NewNode(Node::Kind kind);
  void NoteChange(const Node* changed) {
    ++version;
    lastChanged = changed;
  }
  // href of an A or AREA, src of an IMG: the resolved address while the attribute is unchanged.
  std::string AddressOf(const Node& element, const std::string& attribute) const;
  // The first BODY or FRAMESET child of the HTML element.
  Node* Body() const;
};

struct CDocumentSet {
  std::vector<std::unique_ptr<CTree>> trees;
};

// `to` made a copy of the page `from` as loaded: nodes, resolved addresses and frames.
void CopyPage(const CTree& from, CTree& to);

using SetPtr = std::shared_ptr<CDocumentSet>;

// Upper case for HTML elements, as written for foreign ones.
std::string TagNameOf(const Node& element);

using dom::Selection;
// The selected elements in document order (templates not entered).
std::vector<Node*> SelectElements(const CTree& tree, Selection selection, const std::string& tag);

// The document object of the set's tree `index`: the one alive, else a new one.
tavrin::ComPtr<IHTMLDocument2> DocumentOf(const SetPtr& set, std::size_t index);

}  // namespace tavrin::test_double
