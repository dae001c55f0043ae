// The portable document model: an HTML5 document parsed by gumbo into a mutable tree of our own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "browserview/document_model.h"
#include "browserview/portable/run_budget.h"

namespace tavrin::dom {

struct Node;

// Gives the document of a frame by its absolute address; null when it cannot be loaded.
using FrameLoader = std::function<DocumentPtr(const std::string& url)>;

class CHtmlDocument : public IDocument, public std::enable_shared_from_this<CHtmlDocument> {
 public:
  // `html` is the decoded text (UTF-8); `url` the document's address; `encoding` the WHATWG name
  // of the encoding the bytes were in (queries of relative addresses are encoded in it). Every
  // parse of the document, this one and those of markup written into it later, is charged to
  // `budget` when there is one; a parse over it throws CBudgetExceeded.
  static std::shared_ptr<CHtmlDocument> Parse(const std::string& html, const std::string& url,
                                              const std::string& encoding = "UTF-8",
                                              FrameLoader loader = {},
                                              std::shared_ptr<CRunBudget> budget = nullptr);
  ~CHtmlDocument() override;

  std::string Url() override;
  CollectionPtr Links() override;
  CollectionPtr Images() override;
  CollectionPtr All() override;
  NodePtr Body() override;
  WindowPtr ParentWindow() override;

  // The whole document in the HTML serialisation, doctype included.
  std::string Serialize() const;
  // The same in pieces of about `pieceSize` bytes, which put together are Serialize().
  std::vector<std::string> SerializeInPieces(std::size_t pieceSize) const;
  // Every ScrollTo of the window, in order.
  const std::vector<std::pair<long, long>>& Scrolls() const;

  // The tree itself, for readers of the whole document (the snapshot writer).
  const Node& Root() const;
  // The element's attribute resolved as Href() and Src() resolve theirs; empty when absent.
  std::string ResolvedAttribute(const Node& element, const std::string& name);

  // Building the tree in pieces, for a writer that knows the parse of its whole markup to be
  // its pieces' parses put together. Each call counts as a change, as the setters do.
  //
  // The body (or frameset) element; throws DomError when there is none.
  Node& BodyElement();
  // `html` parsed as the content of `parent` and appended to its children.
  void AppendHtml(Node& parent, const std::string& html);
  // `html` parsed as the content of `context` into a detached holder, a source for AppendCopy.
  const Node& ParseDetached(const std::string& html, const Node& context);
  // A deep copy of `source` appended to `parent`; gives the copy.
  Node& AppendCopy(Node& parent, const Node& source);
  // A text node appended to `parent`.
  void AppendText(Node& parent, std::string data);
  void SetAttribute(Node& element, const std::string& name, const std::string& value);
  void RemoveChildren(Node& parent);

  struct Impl;

 private:
  CHtmlDocument();
  std::unique_ptr<Impl> m_pImpl;
};

// A browser that shows one document and records its status texts.
class CHtmlBrowser : public IBrowser {
 public:
  explicit CHtmlBrowser(DocumentPtr document) : m_pDocument(std::move(document)) {}
  DocumentPtr Document() override { return m_pDocument; }
  void SetStatusText(const std::string& text) override { m_arrStatusTexts.push_back(text); }
  const std::vector<std::string>& StatusTexts() const { return m_arrStatusTexts; }

 private:
  DocumentPtr m_pDocument;
  std::vector<std::string> m_arrStatusTexts;
};

}  // namespace tavrin::dom
