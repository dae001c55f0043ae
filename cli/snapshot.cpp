#include "cli/snapshot.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "browserview/portable/html_tree.h"

namespace tavrin::cli {
namespace {

using Json = nlohmann::json;

// JSON string syntax; invalid UTF-8 (which the decoders never give) would become U+FFFD.
std::string Quote(const std::string& text) {
  return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

const char* NamespaceName(dom::Namespace ns) {
  switch (ns) {
    case dom::Namespace::Svg:
      return "svg";
    case dom::Namespace::MathMl:
      return "math";
    default:
      return "html";
  }
}

// Everything of a node but its children; an element's or the document's "children" stay open.
void AppendNodeHead(std::string& out, const dom::Node& node, dom::CHtmlDocument& document) {
  switch (node.kind) {
    case dom::Node::Kind::Document:
      out += R"({"type":"document","children":[)";
      return;
    case dom::Node::Kind::Doctype:
      out += R"({"type":"doctype","name":)" + Quote(node.name);
      return;
    case dom::Node::Kind::Text:
    case dom::Node::Kind::Comment:
      out += node.kind == dom::Node::Kind::Text ? R"({"type":"text","data":)"
                                                : R"({"type":"comment","data":)";
      out += Quote(node.data);
      return;
    case dom::Node::Kind::Element:
      break;
  }
  out += R"({"type":"element","name":)" + Quote(node.name) + R"(,"ns":")" + NamespaceName(node.ns) +
         R"(","attributes":[)";
  for (std::size_t i = 0; i < node.attributes.size(); ++i) {
    if (i) out += ',';
    out += '[' + Quote(node.attributes[i].name) + ',' + Quote(node.attributes[i].value) + ']';
  }
  out += ']';
  if ((node.IsHtml("a") || node.IsHtml("area")) && node.FindAttribute("href")) {
    out += R"(,"href":)" + Quote(document.ResolvedAttribute(node, "href"));
  }
  if (node.IsHtml("img")) out += R"(,"src":)" + Quote(document.ResolvedAttribute(node, "src"));
  out += R"(,"children":[)";
}

bool HasChildList(const dom::Node& node) {
  return node.kind == dom::Node::Kind::Document || node.kind == dom::Node::Kind::Element;
}

// The whole tree, template contents included; iterative, so that deep pages cannot exhaust
// the stack. Each node is charged to `budget` as it is written: resolved addresses under a long
// base make a snapshot far larger than its page.
void AppendTree(std::string& out, dom::CHtmlDocument& document, CRunBudget* budget) {
  const dom::Node* root = &document.Root();
  const dom::Node* node = root;
  for (;;) {
    const std::size_t before = out.size();
    AppendNodeHead(out, *node, document);
    if (budget) budget->ChargeSnapshot(out.size() - before);
    if (HasChildList(*node) && node->firstChild) {
      node = node->firstChild;
      continue;
    }
    // Close this node and every ancestor whose last child it ends.
    for (;;) {
      out += HasChildList(*node) ? "]}" : "}";
      if (node == root) return;
      if (node->next) {
        out += ',';
        node = node->next;
        break;
      }
      node = node->parent;
    }
  }
}

dom::CHtmlDocument& Portable(const dom::DocumentPtr& document) {
  auto* html = dynamic_cast<dom::CHtmlDocument*>(document.get());
  if (!html) throw std::logic_error("a snapshot needs documents of the portable model");
  return *html;
}

// Which of `documents` each direct frame of the document shows; null for none.
std::string FrameIndexes(dom::IDocument& document, const std::vector<dom::DocumentPtr>& documents) {
  std::string out = "[";
  const dom::WindowPtr window = document.ParentWindow();
  const long count = window ? window->FrameCount() : 0;
  for (long i = 0; i < count; ++i) {
    if (i) out += ',';
    const dom::WindowPtr frame = window->Frame(i);
    const dom::DocumentPtr shown = frame ? frame->Document() : nullptr;
    const auto found = std::find(documents.begin(), documents.end(), shown);
    out += shown && found != documents.end() ? std::to_string(found - documents.begin()) : "null";
  }
  return out + ']';
}

void AppendDocument(std::string& out, dom::CHtmlDocument& document, const std::string& frames,
                    CRunBudget* budget) {
  out += R"({"url":)" + Quote(document.Url()) + R"(,"frames":)" + frames + R"(,"root":)";
  AppendTree(out, document, budget);
  out += '}';
}

}  // namespace

std::string BuildSnapshot(const std::vector<dom::DocumentPtr>& documents,
                          const dom::DocumentPtr& top, dom::CHtmlDocument& view,
                          CRunBudget* budget) {
  const auto topIndex = std::find(documents.begin(), documents.end(), top) - documents.begin();
  if (static_cast<std::size_t>(topIndex) == documents.size()) {
    throw std::logic_error("the top document is not among the loaded documents");
  }
  std::string out = R"({"top":)" + std::to_string(topIndex) + R"(,"documents":[)";
  for (std::size_t i = 0; i < documents.size(); ++i) {
    if (i) out += ',';
    AppendDocument(out, Portable(documents[i]), FrameIndexes(*documents[i], documents), budget);
  }
  out += R"(],"view":)";
  AppendDocument(out, view, "[]", budget);
  return out + "}\n";
}

}  // namespace tavrin::cli
