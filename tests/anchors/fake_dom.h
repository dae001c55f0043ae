// Small stand-ins for the document-model interface, for the failure paths the portable model
// never takes. Each object throws DomError from the operations named in `failOn`, and
// std::bad_alloc from those named in `exhaustOn`.
#pragma once

#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "browserview/document_model.h"

namespace tavrin::fake {

class Failing {
 public:
  std::set<std::string> failOn;
  std::set<std::string> exhaustOn;

 protected:
  void Check(const char* operation) const {
    if (failOn.contains(operation)) throw dom::DomError(-1, operation);
    if (exhaustOn.contains(operation)) throw std::bad_alloc();
  }
};

class Node : public dom::INode, public Failing {
 public:
  dom::NodeType type = dom::NodeType::Element;
  std::string data, tagName;
  std::vector<dom::Attribute> attributes;
  std::vector<dom::NodePtr> children;
  bool isElement = true, isAnchor = false, isImage = false, isFont = false;
  std::string href, src, alt, innerHtml;
  std::vector<std::string> outerHtmlWrites;
  std::vector<std::string> removals;  // "Remove", "RemoveKeepingContent"

  dom::NodeType Type() const override { return Check("Type"), type; }
  std::string Data() const override { return Check("Data"), data; }
  std::string TagName() const override { return Check("TagName"), tagName; }
  std::vector<dom::Attribute> Attributes() const override {
    return Check("Attributes"), attributes;
  }
  std::vector<dom::NodePtr> ChildNodes() const override { return Check("ChildNodes"), children; }
  bool IsElement() const override { return isElement; }
  bool IsAnchor() const override { return isAnchor; }
  bool IsImage() const override { return isImage; }
  bool IsFont() const override { return isFont; }
  std::string Href() const override { return Check("Href"), href; }
  void SetHref(const std::string& value) override { Check("SetHref"), href = value; }
  std::string Src() const override { return Check("Src"), src; }
  void SetSrc(const std::string& value) override { Check("SetSrc"), src = value; }
  std::string Alt() const override { return Check("Alt"), alt; }
  std::string InnerHtml() const override { return Check("InnerHtml"), innerHtml; }
  void SetInnerHtml(const std::string& html) override { Check("SetInnerHtml"), innerHtml = html; }
  void SetOuterHtml(const std::string& html) override {
    Check("SetOuterHtml");
    outerHtmlWrites.push_back(html);
  }
  void Remove() override { Check("Remove"), removals.push_back("Remove"); }
  void RemoveKeepingContent() override {
    Check("RemoveKeepingContent"), removals.push_back("RemoveKeepingContent");
  }
};

class Collection : public dom::ICollection, public Failing {
 public:
  std::vector<dom::NodePtr> items;
  // What Tags gives per name; a name not in the map gives null.
  std::map<std::string, dom::CollectionPtr> tags;

  long Length() override { return Check("Length"), static_cast<long>(items.size()); }
  dom::NodePtr Item(long index) override {
    Check("Item");
    return index >= 0 && index < static_cast<long>(items.size()) ? items[index] : nullptr;
  }
  dom::CollectionPtr Tags(const std::string& name) override {
    Check("Tags");
    const auto found = tags.find(name);
    return found == tags.end() ? nullptr : found->second;
  }
};

class Window;

class Document : public dom::IDocument, public Failing {
 public:
  std::string url = "http://example.com/";
  dom::CollectionPtr links = std::make_shared<Collection>();
  dom::CollectionPtr images = std::make_shared<Collection>();
  dom::CollectionPtr all = std::make_shared<Collection>();
  dom::NodePtr body;
  dom::WindowPtr window;

  std::string Url() override { return Check("Url"), url; }
  dom::CollectionPtr Links() override { return Check("Links"), links; }
  dom::CollectionPtr Images() override { return Check("Images"), images; }
  dom::CollectionPtr All() override { return Check("All"), all; }
  dom::NodePtr Body() override { return Check("Body"), body; }
  dom::WindowPtr ParentWindow() override { return Check("ParentWindow"), window; }
};

class Window : public dom::IWindow, public Failing {
 public:
  std::vector<dom::WindowPtr> frames;  // null entries: frames that cannot be had
  dom::DocumentPtr document;
  std::weak_ptr<dom::IDocument>
      ownDocument;  // the document whose window this is, when no `document`
  std::vector<std::pair<long, long>> scrolls;

  long FrameCount() override { return Check("FrameCount"), static_cast<long>(frames.size()); }
  dom::WindowPtr Frame(long index) override { return Check("Frame"), frames.at(index); }
  dom::DocumentPtr Document() override {
    Check("Document");
    return document ? document : ownDocument.lock();
  }
  void ScrollTo(long x, long y) override {
    Check("ScrollTo");
    scrolls.emplace_back(x, y);
  }
};

class Browser : public dom::IBrowser, public Failing {
 public:
  dom::DocumentPtr document;
  std::vector<std::string> statusTexts;

  dom::DocumentPtr Document() override { return Check("Document"), document; }
  void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
};

// A document with its own window, as a page without frames has: the window's document is the
// document itself.
inline std::shared_ptr<Document> MakeDocument(const std::string& url) {
  auto document = std::make_shared<Document>();
  document->url = url;
  auto window = std::make_shared<Window>();
  window->ownDocument = document;
  document->window = window;
  return document;
}

}  // namespace tavrin::fake
