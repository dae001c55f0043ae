// The browser and document operations the anchor-list pipeline relies on, as one interface.
// Two implementations: the portable one on gumbo (native) and an adapter over MSHTML (Windows).
//
// Text is UTF-8 throughout. An expected absence (the object is not an anchor, a window has no
// document, a frame refuses access, an item cannot be had) is a null or false result; an
// unexpected failure of the model is a DomError, which the pipeline catches where it must.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tavrin::dom {

class DomError : public std::runtime_error {
 public:
  explicit DomError(long code, const std::string& what = "document model failure")
      : std::runtime_error(what), m_lCode(code) {}
  // The platform's error code (an HRESULT on Windows).
  long Code() const noexcept { return m_lCode; }

 private:
  long m_lCode;
};

// The code of the DomError raised when a successful call gives a null result (E_POINTER).
inline constexpr long kErrorNullResult = static_cast<long>(0x80004003UL);

class INode;
class ICollection;
class IDocument;
class IWindow;
using NodePtr = std::shared_ptr<INode>;
using CollectionPtr = std::shared_ptr<ICollection>;
using DocumentPtr = std::shared_ptr<IDocument>;
using WindowPtr = std::shared_ptr<IWindow>;

enum class NodeType { Element, Text, Other };

struct Attribute {
  std::string name;  // lower case
  std::string value;
};

// A node of a document. Element operations on a node that lacks the interface they belong to
// (Href on an image, InnerHtml on a text node) raise DomError: callers test first.
class INode {
 public:
  virtual ~INode() = default;

  virtual NodeType Type() const = 0;
  // Character data of a text node; empty for other nodes.
  virtual std::string Data() const = 0;
  // Upper-case tag name of an element ("A", "IMG"); empty for other nodes.
  virtual std::string TagName() const = 0;
  virtual std::vector<Attribute> Attributes() const = 0;
  virtual std::vector<NodePtr> ChildNodes() const = 0;

  // Interface tests: an HTML element at all, an A element, an IMG element, a FONT element.
  virtual bool IsElement() const = 0;
  virtual bool IsAnchor() const = 0;
  virtual bool IsImage() const = 0;
  virtual bool IsFont() const = 0;

  // Anchor: the address resolved against the document, as a browser gives it; put writes the
  // attribute as given.
  virtual std::string Href() const = 0;
  virtual void SetHref(const std::string& href) = 0;
  // Image: src resolved like Href; alt as written (empty when absent).
  virtual std::string Src() const = 0;
  virtual void SetSrc(const std::string& src) = 0;
  virtual std::string Alt() const = 0;

  virtual std::string InnerHtml() const = 0;
  virtual void SetInnerHtml(const std::string& html) = 0;
  // Replaces the element by the parsed markup.
  virtual void SetOuterHtml(const std::string& html) = 0;
  // Takes the element out of the document with its content, or puts its children in its place;
  // either way no markup is written or parsed.
  virtual void Remove() = 0;
  virtual void RemoveKeepingContent() = 0;
};

// A live collection: Length and Item see the document as it is after each change.
class ICollection {
 public:
  virtual ~ICollection() = default;
  virtual long Length() = 0;
  // Null when there is no item at that index.
  virtual NodePtr Item(long index) = 0;
  // The elements of this collection with the tag name, compared without regard to case.
  virtual CollectionPtr Tags(const std::string& name) = 0;
};

class IDocument {
 public:
  virtual ~IDocument() = default;
  virtual std::string Url() = 0;
  // A and AREA elements with an href, in document order.
  virtual CollectionPtr Links() = 0;
  virtual CollectionPtr Images() = 0;
  virtual CollectionPtr All() = 0;
  // Null when the document has no body.
  virtual NodePtr Body() = 0;
  // Null when the document has no window.
  virtual WindowPtr ParentWindow() = 0;
};

class IWindow {
 public:
  virtual ~IWindow() = default;
  // The direct frames (FRAME and IFRAME elements) of the window's document.
  virtual long FrameCount() = 0;
  // Null when the frame cannot be had or is not a window.
  virtual WindowPtr Frame(long index) = 0;
  // Null when there is none or access is refused.
  virtual DocumentPtr Document() = 0;
  virtual void ScrollTo(long x, long y) = 0;
};

class IBrowser {
 public:
  virtual ~IBrowser() = default;
  // The current document; null when there is none or it is not an HTML document.
  virtual DocumentPtr Document() = 0;
  virtual void SetStatusText(const std::string& text) = 0;
};

}  // namespace tavrin::dom
