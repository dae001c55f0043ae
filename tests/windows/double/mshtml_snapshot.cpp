// Snapshots: the documents tavrin-anchors loaded, as JSON, turned into the double's trees.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "mshtml_double.h"
#include "mshtml_markup.h"
#include "mshtml_tree.h"

namespace tavrin::test_double {
namespace {

using nlohmann::json;

dom::Namespace NamespaceOf(const std::string& name) {
  if (name == "svg") return dom::Namespace::Svg;
  if (name == "math") return dom::Namespace::MathMl;
  if (name == "html") return dom::Namespace::Html;
  throw std::runtime_error("snapshot: unknown namespace " + name);
}

Node& NewNodeFrom(const json& source, CTree& tree) {
  const std::string& type = source.at("type").get_ref<const std::string&>();
  if (type == "document") return tree.NewNode(Node::Kind::Document);
  if (type == "doctype") {
    Node& doctype = tree.NewNode(Node::Kind::Doctype);
    doctype.name = source.at("name").get<std::string>();
    return doctype;
  }
  if (type == "text" || type == "comment") {
    Node& node = tree.NewNode(type == "text" ? Node::Kind::Text : Node::Kind::Comment);
    node.data = source.at("data").get<std::string>();
    return node;
  }
  if (type != "element") throw std::runtime_error("snapshot: unknown node type " + type);
  Node& element = tree.NewNode(Node::Kind::Element);
  element.name = source.at("name").get<std::string>();
  element.ns = NamespaceOf(source.value("ns", std::string("html")));
  for (const json& attribute : source.value("attributes", json::array())) {
    element.attributes.push_back(
        {attribute.at(0).get<std::string>(), attribute.at(1).get<std::string>()});
  }
  for (const char* key : {"href", "src"}) {
    if (!source.contains(key)) continue;
    const std::string* written = element.FindAttribute(key);
    tree.resolved[&element] = {written ? std::optional<std::string>(*written) : std::nullopt,
                               source[key].get<std::string>()};
  }
  return element;
}

// Builds the tree without recursion, so that a deeply nested page cannot exhaust the stack.
Node& BuildTree(const json& root, CTree& tree) {
  Node& top = NewNodeFrom(root, tree);
  struct Pending {
    const json* children;
    std::size_t next;
    Node* parent;
  };
  static const json kNone = json::array();
  std::vector<Pending> stack{{root.contains("children") ? &root["children"] : &kNone, 0, &top}};
  while (!stack.empty()) {
    Pending& level = stack.back();
    if (level.next == level.children->size()) {
      stack.pop_back();
      continue;
    }
    const json& source = (*level.children)[level.next++];
    Node& node = NewNodeFrom(source, tree);
    AppendChild(*level.parent, node);
    if (source.contains("children")) stack.push_back({&source["children"], 0, &node});
  }
  return top;
}

void LoadTree(const json& source, CTree& tree, std::size_t documentCount) {
  tree.url = source.at("url").get<std::string>();
  for (const json& frame : source.value("frames", json::array())) {
    if (frame.is_null()) {
      tree.frames.emplace_back();
      continue;
    }
    const auto index = frame.get<std::size_t>();
    if (index >= documentCount) throw std::runtime_error("snapshot: frame index out of range");
    tree.frames.emplace_back(index);
  }
  tree.root = &BuildTree(source.at("root"), tree);
}

}  // namespace

CSnapshot ParseSnapshot(std::string_view text) {
  try {
    const json file = json::parse(text);
    const json& documents = file.at("documents");
    auto set = std::make_shared<CDocumentSet>();
    for (const json& document : documents) {
      LoadTree(document, *set->trees.emplace_back(std::make_unique<CTree>()), documents.size());
    }
    const auto top = file.at("top").get<std::size_t>();
    if (top >= documents.size()) throw std::runtime_error("snapshot: top index out of range");
    const bool hasView = file.contains("view");
    if (hasView) {
      LoadTree(file["view"], *set->trees.emplace_back(std::make_unique<CTree>()), documents.size());
    }
    CSnapshot snapshot;
    for (std::size_t i = 0; i < documents.size(); ++i) {
      snapshot.documents.push_back(DocumentOf(set, i));
    }
    snapshot.top = snapshot.documents[top];
    if (hasView) snapshot.view = DocumentOf(set, documents.size());
    return snapshot;
  } catch (const json::exception& error) {
    throw std::runtime_error(std::string("snapshot: ") + error.what());
  }
}

CSnapshot LoadSnapshot(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  std::ostringstream text;
  if (!file || !(text << file.rdbuf())) {
    throw std::runtime_error("cannot read the snapshot file");
  }
  return ParseSnapshot(text.str());
}

}  // namespace tavrin::test_double
