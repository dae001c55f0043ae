#include "browserview/mshtml/mshtml_document.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "browserview/ascii_case.h"
#include "framework/com_ptr.h"
#include "framework/text.h"
#include "framework/unique_any.h"

namespace tavrin::mshtml {
namespace {

void Check(HRESULT hr) {
  if (FAILED(hr)) throw dom::DomError(hr, "MSHTML call failed");
}

// Calls a getter that hands out an interface: a failure or a null result is an error.
template <class Object, class Interface, class Result>
ComPtr<Result> Required(Object* object, HRESULT (STDMETHODCALLTYPE Interface::*getter)(Result**)) {
  ComPtr<Result> result;
  Check((object->*getter)(result.put()));
  if (!result) throw dom::DomError(dom::kErrorNullResult, "MSHTML call gave no object");
  return result;
}

// Like Required, but a null result is an absence.
template <class Object, class Interface, class Result>
ComPtr<Result> Nullable(Object* object, HRESULT (STDMETHODCALLTYPE Interface::*getter)(Result**)) {
  ComPtr<Result> result;
  Check((object->*getter)(result.put()));
  return result;
}

template <class Object, class Interface>
std::string GetText(Object* object, HRESULT (STDMETHODCALLTYPE Interface::*getter)(BSTR*)) {
  UniqueBstr text;
  Check((object->*getter)(text.put()));
  // A null BSTR is the empty string.
  return WideToUtf8({text.get(), SysStringLen(text.get())});
}

UniqueBstr AllocateBstr(const std::string& text) {
  const std::wstring wide = Utf8ToWide(text);
  UniqueBstr result(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
  if (!result) throw dom::DomError(E_OUTOFMEMORY, "out of memory for a string");
  return result;
}

template <class Object, class Interface>
void PutText(Object* object, HRESULT (STDMETHODCALLTYPE Interface::*setter)(BSTR),
             const std::string& text) {
  Check((object->*setter)(AllocateBstr(text).get()));
}

template <class Object, class Interface>
long GetLong(Object* object, HRESULT (STDMETHODCALLTYPE Interface::*getter)(long*)) {
  long value = 0;
  Check((object->*getter)(&value));
  return value;
}

// Null when the object lacks the interface; any other failure of the query is an error.
template <class I>
ComPtr<I> Query(IUnknown* object) {
  ComPtr<I> result;
  const HRESULT hr = object->QueryInterface(__uuidof(I), result.put_void());
  if (hr == E_NOINTERFACE) return {};
  Check(hr);
  if (!result) throw dom::DomError(dom::kErrorNullResult, "QueryInterface gave no object");
  return result;
}

// Collections take their index as a VT_I4 VARIANT.
VARIANT* PutIndex(UniqueVariant& variant, long index) {
  VARIANT* value = variant.put();
  V_VT(value) = VT_I4;
  V_I4(value) = index;
  return value;
}

// VariantChangeType into a fresh VARIANT leaves the source alone, whatever its signature says.
HRESULT ChangeType(UniqueVariant& result, const VARIANT& value, VARTYPE type) {
  return VariantChangeType(result.put(), const_cast<VARIANT*>(&value), 0, type);
}

// An attribute value as text; values that are not strings (numbers, booleans) are converted.
// Null when the value has no text form (a script object in quirks mode).
std::optional<std::string> ValueText(const VARIANT& value) {
  if (V_VT(&value) == VT_EMPTY || V_VT(&value) == VT_NULL) return std::string();
  UniqueVariant text;
  const HRESULT hr = ChangeType(text, value, VT_BSTR);
  if (hr == E_OUTOFMEMORY) throw dom::DomError(hr, "out of memory for an attribute value");
  if (FAILED(hr)) return std::nullopt;
  const BSTR bstr = V_BSTR(&text.get());
  return WideToUtf8({bstr, SysStringLen(bstr)});
}

class CMshtmlNode : public dom::INode {
 public:
  explicit CMshtmlNode(ComPtr<IDispatch> object) : m_pObject(std::move(object)) {}

  dom::NodeType Type() const override {
    const ComPtr<IHTMLDOMNode> node = Query<IHTMLDOMNode>(m_pObject.get());
    if (!node) return dom::NodeType::Other;
    switch (GetLong(node.get(), &IHTMLDOMNode::get_nodeType)) {
      case 1:
        return dom::NodeType::Element;
      case 3:
        return dom::NodeType::Text;
      default:
        return dom::NodeType::Other;
    }
  }

  std::string Data() const override {
    const ComPtr<IHTMLDOMTextNode> text = Query<IHTMLDOMTextNode>(m_pObject.get());
    return text ? GetText(text.get(), &IHTMLDOMTextNode::get_data) : std::string();
  }

  std::string TagName() const override {
    const ComPtr<IHTMLElement> element = Query<IHTMLElement>(m_pObject.get());
    return element ? GetText(element.get(), &IHTMLElement::get_tagName) : std::string();
  }

  std::vector<dom::Attribute> Attributes() const override {
    std::vector<dom::Attribute> result;
    const ComPtr<IHTMLDOMNode> node = Query<IHTMLDOMNode>(m_pObject.get());
    if (!node) return result;
    const ComPtr<IHTMLAttributeCollection> attributes =
        Query<IHTMLAttributeCollection>(Required(node.get(), &IHTMLDOMNode::get_attributes).get());
    if (!attributes) return result;
    const long count = GetLong(attributes.get(), &IHTMLAttributeCollection::get_length);
    for (long i = 0; i < count; ++i) {
      UniqueVariant index;
      ComPtr<IDispatch> item;
      if (FAILED(attributes->item(PutIndex(index, i), item.put())) || !item) continue;
      const ComPtr<IHTMLDOMAttribute> attribute = Query<IHTMLDOMAttribute>(item.get());
      if (!attribute) continue;
      // In quirks mode the collection lists every attribute the element could have.
      VARIANT_BOOL specified = VARIANT_FALSE;
      Check(attribute->get_specified(&specified));
      if (!specified) continue;
      UniqueVariant value;
      Check(attribute->get_nodeValue(value.put()));
      std::optional<std::string> text = ValueText(value.get());
      if (!text) continue;
      result.push_back(
          {AsciiLower(GetText(attribute.get(), &IHTMLDOMAttribute::get_nodeName)), *text});
    }
    return result;
  }

  std::vector<dom::NodePtr> ChildNodes() const override {
    std::vector<dom::NodePtr> result;
    const ComPtr<IHTMLDOMNode> node = Query<IHTMLDOMNode>(m_pObject.get());
    if (!node) return result;
    const ComPtr<IHTMLDOMChildrenCollection> children = Query<IHTMLDOMChildrenCollection>(
        Required(node.get(), &IHTMLDOMNode::get_childNodes).get());
    if (!children) return result;
    const long count = GetLong(children.get(), &IHTMLDOMChildrenCollection::get_length);
    for (long i = 0; i < count; ++i) {
      ComPtr<IDispatch> child;
      // A child that cannot be had stays a null entry, which the walkers skip.
      if (FAILED(children->item(i, child.put()))) child.reset();
      result.push_back(child ? std::make_shared<CMshtmlNode>(std::move(child)) : nullptr);
    }
    return result;
  }

  bool IsElement() const override { return Has<IHTMLElement>(); }
  bool IsAnchor() const override { return Has<IHTMLAnchorElement>(); }
  bool IsImage() const override { return Has<IHTMLImgElement>(); }
  bool IsFont() const override { return Has<IHTMLFontElement>(); }

  std::string Href() const override {
    return GetText(Require<IHTMLAnchorElement>().get(), &IHTMLAnchorElement::get_href);
  }
  void SetHref(const std::string& href) override {
    PutText(Require<IHTMLAnchorElement>().get(), &IHTMLAnchorElement::put_href, href);
  }
  std::string Src() const override {
    return GetText(Require<IHTMLImgElement>().get(), &IHTMLImgElement::get_src);
  }
  void SetSrc(const std::string& src) override {
    PutText(Require<IHTMLImgElement>().get(), &IHTMLImgElement::put_src, src);
  }
  std::string Alt() const override {
    return GetText(Require<IHTMLImgElement>().get(), &IHTMLImgElement::get_alt);
  }

  std::string InnerHtml() const override {
    return GetText(Require<IHTMLElement>().get(), &IHTMLElement::get_innerHTML);
  }
  void SetInnerHtml(const std::string& html) override {
    PutText(Require<IHTMLElement>().get(), &IHTMLElement::put_innerHTML, html);
  }
  void SetOuterHtml(const std::string& html) override {
    PutText(Require<IHTMLElement>().get(), &IHTMLElement::put_outerHTML, html);
  }
  void Remove() override { RemoveNode(VARIANT_TRUE); }
  void RemoveKeepingContent() override { RemoveNode(VARIANT_FALSE); }

 private:
  template <class I>
  bool Has() const {
    return static_cast<bool>(Query<I>(m_pObject.get()));
  }
  // Element operations on a node without their interface are the caller's error.
  template <class I>
  ComPtr<I> Require() const {
    ComPtr<I> result = Query<I>(m_pObject.get());
    if (!result) throw dom::DomError(E_NOINTERFACE, "the node lacks the interface");
    return result;
  }

  // removeNode hands out the removed node, which nothing here needs.
  void RemoveNode(VARIANT_BOOL withContent) {
    ComPtr<IHTMLDOMNode> removed;
    Check(Require<IHTMLDOMNode>()->removeNode(withContent, removed.put()));
  }

  ComPtr<IDispatch> m_pObject;
};

dom::NodePtr WrapNode(ComPtr<IDispatch> object) {
  return object ? std::make_shared<CMshtmlNode>(std::move(object)) : nullptr;
}

class CMshtmlCollection : public dom::ICollection {
 public:
  explicit CMshtmlCollection(ComPtr<IHTMLElementCollection> collection)
      : m_pCollection(std::move(collection)) {}

  long Length() override {
    return GetLong(m_pCollection.get(), &IHTMLElementCollection::get_length);
  }

  dom::NodePtr Item(long index) override {
    UniqueVariant name;
    PutIndex(name, index);
    const UniqueVariant none;
    ComPtr<IDispatch> item;
    if (FAILED(m_pCollection->item(name.get(), none.get(), item.put()))) return nullptr;
    return WrapNode(std::move(item));
  }

  dom::CollectionPtr Tags(const std::string& name) override {
    UniqueVariant tag;
    UniqueBstr text = AllocateBstr(name);
    VARIANT* value = tag.put();
    V_VT(value) = VT_BSTR;
    V_BSTR(value) = text.release();
    ComPtr<IDispatch> tagged;
    Check(m_pCollection->tags(tag.get(), tagged.put()));
    if (!tagged) throw dom::DomError(dom::kErrorNullResult, "tags gave no collection");
    ComPtr<IHTMLElementCollection> collection = Query<IHTMLElementCollection>(tagged.get());
    if (!collection) return nullptr;
    return std::make_shared<CMshtmlCollection>(std::move(collection));
  }

 private:
  ComPtr<IHTMLElementCollection> m_pCollection;
};

dom::CollectionPtr WrapCollection(ComPtr<IHTMLElementCollection> collection) {
  return std::make_shared<CMshtmlCollection>(std::move(collection));
}

class CMshtmlWindow : public dom::IWindow {
 public:
  explicit CMshtmlWindow(ComPtr<IHTMLWindow2> window) : m_pWindow(std::move(window)) {}

  long FrameCount() override {
    return GetLong(Frames().get(), &IHTMLFramesCollection2::get_length);
  }

  dom::WindowPtr Frame(long index) override {
    UniqueVariant position;
    UniqueVariant item;
    if (FAILED(Frames()->item(PutIndex(position, index), item.put()))) return nullptr;
    UniqueVariant frame;
    if (FAILED(ChangeType(frame, item.get(), VT_DISPATCH))) return nullptr;
    IDispatch* dispatch = V_DISPATCH(&frame.get());
    if (!dispatch) return nullptr;
    ComPtr<IHTMLWindow2> window = Query<IHTMLWindow2>(dispatch);
    if (!window) return nullptr;
    return std::make_shared<CMshtmlWindow>(std::move(window));
  }

  dom::DocumentPtr Document() override {
    ComPtr<IHTMLDocument2> document;
    const HRESULT hr = m_pWindow->get_document(document.put());
    // A frame showing a page of another domain refuses its document.
    if (hr == E_ACCESSDENIED) return nullptr;
    Check(hr);
    return WrapDocument(document.get());
  }

  void ScrollTo(long x, long y) override { Check(m_pWindow->scrollTo(x, y)); }

 private:
  ComPtr<IHTMLFramesCollection2> Frames() {
    return Required(m_pWindow.get(), &IHTMLWindow2::get_frames);
  }

  ComPtr<IHTMLWindow2> m_pWindow;
};

class CMshtmlDocument : public dom::IDocument {
 public:
  explicit CMshtmlDocument(ComPtr<IHTMLDocument2> document) : m_pDocument(std::move(document)) {}

  std::string Url() override { return GetText(m_pDocument.get(), &IHTMLDocument2::get_URL); }
  dom::CollectionPtr Links() override {
    return WrapCollection(Required(m_pDocument.get(), &IHTMLDocument2::get_links));
  }
  dom::CollectionPtr Images() override {
    return WrapCollection(Required(m_pDocument.get(), &IHTMLDocument2::get_images));
  }
  dom::CollectionPtr All() override {
    return WrapCollection(Required(m_pDocument.get(), &IHTMLDocument2::get_all));
  }
  dom::NodePtr Body() override {
    const ComPtr<IHTMLElement> body = Nullable(m_pDocument.get(), &IHTMLDocument2::get_body);
    return WrapNode(ComPtr<IDispatch>(body.get()));
  }
  dom::WindowPtr ParentWindow() override {
    ComPtr<IHTMLWindow2> window = Nullable(m_pDocument.get(), &IHTMLDocument2::get_parentWindow);
    if (!window) return nullptr;
    return std::make_shared<CMshtmlWindow>(std::move(window));
  }

 private:
  ComPtr<IHTMLDocument2> m_pDocument;
};

class CMshtmlBrowser : public dom::IBrowser {
 public:
  explicit CMshtmlBrowser(ComPtr<IWebBrowser2> browser) : m_pBrowser(std::move(browser)) {}

  dom::DocumentPtr Document() override {
    // S_FALSE and no document while the browser shows nothing.
    const ComPtr<IDispatch> document = Nullable(m_pBrowser.get(), &IWebBrowser2::get_Document);
    if (!document) return nullptr;
    return WrapDocument(Query<IHTMLDocument2>(document.get()).get());
  }

  void SetStatusText(const std::string& text) override {
    PutText(m_pBrowser.get(), &IWebBrowser2::put_StatusText, text);
  }

 private:
  ComPtr<IWebBrowser2> m_pBrowser;
};

}  // namespace

dom::DocumentPtr WrapDocument(IHTMLDocument2* document) {
  if (!document) return nullptr;
  return std::make_shared<CMshtmlDocument>(ComPtr<IHTMLDocument2>(document));
}

std::unique_ptr<dom::IBrowser> WrapBrowser(IWebBrowser2* browser) {
  if (!browser) return nullptr;
  return std::make_unique<CMshtmlBrowser>(ComPtr<IWebBrowser2>(browser));
}

}  // namespace tavrin::mshtml
