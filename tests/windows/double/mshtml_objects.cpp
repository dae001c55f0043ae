// The double's COM objects. Each implements only the methods the adapter and the browser
// container call; the generated bases answer E_NOTIMPL for the rest.
#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "framework/hresult.h"
#include "framework/text.h"
#include "framework/unique_any.h"
#include "mshtml_bases.h"
#include "mshtml_connection_point.h"
#include "mshtml_double.h"
#include "mshtml_faults.h"
#include "mshtml_markup.h"
#include "mshtml_tree.h"

namespace tavrin::test_double {
namespace {

long g_nLiveObjects = 0;
// How innerHTML is written and markup put into a document is read. Internet Explorer 6 to 8, and
// 9 in quirks mode, write upper-case tag names, leave out the quotes of a value that needs none
// and read a backtick as an attribute quote, so that a value such as ``onerror=x() comes back as
// an attribute of its own after one round trip (Heiderich et al., "mXSS Attacks: Attacking
// well-secured Web-Applications by using innerHTML Mutations", CCS 2013).
dom::Serialization g_serialization = dom::Serialization::Html5;

struct NamedInterface {
  const IID* iid;
  const wchar_t* name;
};

const std::array<NamedInterface, 16>& InterfaceNames() {
  static const std::array<NamedInterface, 16> names = {{
      {&IID_IUnknown, L"IUnknown"},
      {&IID_IDispatch, L"IDispatch"},
      {&__uuidof(IHTMLDocument), L"IHTMLDocument"},
      {&__uuidof(IHTMLDocument2), L"IHTMLDocument2"},
      {&__uuidof(IHTMLElement), L"IHTMLElement"},
      {&__uuidof(IHTMLDOMNode), L"IHTMLDOMNode"},
      {&__uuidof(IHTMLDOMTextNode), L"IHTMLDOMTextNode"},
      {&__uuidof(IHTMLAnchorElement), L"IHTMLAnchorElement"},
      {&__uuidof(IHTMLImgElement), L"IHTMLImgElement"},
      {&__uuidof(IHTMLFontElement), L"IHTMLFontElement"},
      {&__uuidof(IHTMLElementCollection), L"IHTMLElementCollection"},
      {&__uuidof(IHTMLWindow2), L"IHTMLWindow2"},
      {&__uuidof(IHTMLFramesCollection2), L"IHTMLFramesCollection2"},
      {&__uuidof(IHTMLDOMChildrenCollection), L"IHTMLDOMChildrenCollection"},
      {&__uuidof(IHTMLAttributeCollection), L"IHTMLAttributeCollection"},
      {&__uuidof(IHTMLDOMAttribute), L"IHTMLDOMAttribute"},
  }};
  return names;
}

// Out values as a failed or faulted call leaves them: null.
void ClearOut(BSTR* out) {
  *out = nullptr;
}
void ClearOut(long* out) {
  *out = 0;
}
void ClearOut(VARIANT_BOOL* out) {
  *out = VARIANT_FALSE;
}
void ClearOut(VARIANT* out) {
  VariantInit(out);
}
template <class I>
void ClearOut(I** out) {
  *out = nullptr;
}

BSTR MakeBstr(std::string_view text) {
  const std::wstring wide = Utf8ToWide(text);
  const BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!result) throw std::bad_alloc();
  return result;
}

std::string FromBstr(BSTR text) {
  return WideToUtf8({text, SysStringLen(text)});
}

// An item's index as the collections take it; -1 when the VARIANT holds no number.
long IndexOf(const VARIANT* index) {
  UniqueVariant number;
  if (!index || FAILED(VariantChangeType(number.put(), const_cast<VARIANT*>(index), 0, VT_I4))) {
    return -1;
  }
  return V_I4(&number.get());
}

template <class I>
HRESULT HandOut(I* object, I** out) {
  object->AddRef();
  *out = object;
  return S_OK;
}

// Reference counting, the live-object count, QueryInterface through Find with its faults, and
// the frame of every method: out value cleared, injected fault answered, exceptions mapped.
template <class... Bases>
class CObject : public Bases... {
 public:
  CObject(SetPtr set, CTree* tree) : m_pSet(std::move(set)), m_pTree(tree) { ++g_nLiveObjects; }
  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;
  virtual ~CObject() { --g_nLiveObjects; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const NamedInterface& named : InterfaceNames()) {
      if (!IsEqualIID(riid, *named.iid)) continue;
      if (const auto fault = TakeFault(std::wstring(L"QueryInterface:") + named.name, Site(-1))) {
        return *fault;
      }
    }
    IUnknown* found = static_cast<IUnknown*>(Find(riid));
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *ppv = found;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG remaining = --m_cRef;
    if (remaining == 0) delete this;
    return remaining;
  }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  // The interface pointer for `riid`, or null when the object lacks it.
  virtual void* Find(REFIID riid) = 0;
  virtual CCallSite Site(long index) const { return {m_pTree, nullptr, index}; }

  // A torn-down document's objects refuse every call, as MSHTML's do once the browser has
  // replaced the document; otherwise an injected fault may answer.
  std::optional<HRESULT> Refusal(const wchar_t* call, long index) const {
    if (m_pTree && m_pTree->tornDown) return E_UNEXPECTED;
    return TakeFault(call, Site(index));
  }

  template <class Out, class Body>
  HRESULT Get(const wchar_t* call, Out* out, Body body, long index = -1) noexcept {
    if (!out) return E_POINTER;
    ClearOut(out);
    if (const auto refused = Refusal(call, index)) return *refused;
    try {
      return body();
    }
    CATCH_RETURN();
  }

  template <class Body>
  HRESULT Put(const wchar_t* call, Body body) noexcept {
    if (const auto refused = Refusal(call, -1)) return *refused;
    try {
      return body();
    }
    CATCH_RETURN();
  }

  SetPtr m_pSet;
  CTree* m_pTree;  // null for a window that refuses access

 private:
  ULONG m_cRef = 0;
};

// The object as its main interface I when `riid` names I, one of `Also`, IDispatch or IUnknown.
template <class I, class... Also, class T>
void* Own(T* object, REFIID riid) {
  const bool own = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                   IsEqualIID(riid, __uuidof(I)) || (IsEqualIID(riid, __uuidof(Also)) || ...);
  return own ? static_cast<I*>(object) : nullptr;
}

// A new object held by the returned pointer (count 1).
template <class T, class... Args>
ComPtr<T> Make(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

ComPtr<CNodeObject> NodeObject(const SetPtr& set, CTree* tree, Node* node);
HRESULT HandOutNode(const SetPtr& set, CTree* tree, Node* node, IDispatch** out);
ComPtr<IHTMLWindow2> WindowOf(const SetPtr& set, CTree* tree);

// What MSHTML's attribute collection lists beyond the written attributes in quirks mode, as
// unspecified entries: some of them pass the sanitiser when taken for real.
std::vector<std::string> UnspecifiedAttributes(const Node& element) {
  std::vector<std::string> names = {"id", "title", "dir", "onclick"};
  if (element.IsHtml("img")) names.insert(names.end(), {"alt", "width", "height", "border"});
  if (element.IsHtml("font")) names.insert(names.end(), {"color", "face", "size"});
  std::erase_if(names, [&](const std::string& name) { return element.FindAttribute(name); });
  return names;
}

class CAttributeObject final : public CObject<NotImplDomAttribute> {
 public:
  CAttributeObject(SetPtr set, CTree* tree, const Node* element, dom::Attribute attribute,
                   bool specified)
      : CObject(std::move(set), tree),
        m_pElement(element),
        m_attribute(std::move(attribute)),
        m_bSpecified(specified) {}

  STDMETHODIMP get_nodeName(BSTR* p) override {
    return Get(L"IHTMLDOMAttribute::get_nodeName", p, [&] {
      *p = MakeBstr(m_attribute.name);
      return S_OK;
    });
  }
  STDMETHODIMP get_nodeValue(VARIANT* p) override {
    return Get(L"IHTMLDOMAttribute::get_nodeValue", p, [&] {
      if (const std::optional<long> number = NumericValue()) {
        V_I4(p) = *number;
        V_VT(p) = VT_I4;
        return S_OK;
      }
      V_BSTR(p) = MakeBstr(m_attribute.value);
      V_VT(p) = VT_BSTR;
      return S_OK;
    });
  }
  STDMETHODIMP get_specified(VARIANT_BOOL* p) override {
    return Get(L"IHTMLDOMAttribute::get_specified", p, [&] {
      *p = m_bSpecified ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
  }

 protected:
  void* Find(REFIID riid) override { return Own<IHTMLDOMAttribute>(this, riid); }
  CCallSite Site(long index) const override { return {m_pTree, m_pElement, index}; }

 private:
  // In quirks mode an attribute's value is the element's property of that name, and an image's
  // width, height and border are numbers (VT_I4). A value that is no whole number stays as
  // written: the double lays nothing out, so it cannot say what a percentage comes to.
  std::optional<long> NumericValue() const {
    static constexpr std::array<std::string_view, 3> kNumeric = {"width", "height", "border"};
    const std::string& value = m_attribute.value;
    if (!m_bSpecified || !m_pElement->IsHtml("img") ||
        std::find(kNumeric.begin(), kNumeric.end(), m_attribute.name) == kNumeric.end() ||
        value.empty() || value.size() > 9 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    return std::stol(value);
  }

  const Node* m_pElement;
  dom::Attribute m_attribute;
  bool m_bSpecified;
};

class CAttributesObject final : public CObject<NotImplAttributeCollection> {
 public:
  CAttributesObject(SetPtr set, CTree* tree, const Node* element)
      : CObject(std::move(set), tree), m_pElement(element) {}

  STDMETHODIMP get_length(long* p) override {
    return Get(L"IHTMLAttributeCollection::get_length", p, [&] {
      *p = static_cast<long>(UnspecifiedAttributes(*m_pElement).size() +
                             m_pElement->attributes.size());
      return S_OK;
    });
  }
  STDMETHODIMP item(VARIANT* name, IDispatch** p) override {
    const long i = IndexOf(name);
    return Get(
        L"IHTMLAttributeCollection::item", p,
        [&] {
          // Unspecified entries come first, as MSHTML lists its own properties before others.
          const std::vector<std::string> unspecified = UnspecifiedAttributes(*m_pElement);
          const std::size_t count = unspecified.size() + m_pElement->attributes.size();
          if (i < 0 || static_cast<std::size_t>(i) >= count) return E_INVALIDARG;
          const auto position = static_cast<std::size_t>(i);
          const bool specified = position >= unspecified.size();
          dom::Attribute attribute = specified
                                         ? m_pElement->attributes[position - unspecified.size()]
                                         : dom::Attribute{unspecified[position], {}};
          const ComPtr<CAttributeObject> object =
              Make<CAttributeObject>(m_pSet, m_pTree, m_pElement, std::move(attribute), specified);
          return HandOut<IDispatch>(static_cast<IHTMLDOMAttribute*>(object.get()), p);
        },
        i);
  }

 protected:
  void* Find(REFIID riid) override { return Own<IHTMLAttributeCollection>(this, riid); }

 private:
  const Node* m_pElement;
};

class CChildrenObject final : public CObject<NotImplDomChildrenCollection> {
 public:
  CChildrenObject(SetPtr set, CTree* tree, Node* parent)
      : CObject(std::move(set), tree), m_pParent(parent) {}

  STDMETHODIMP get_length(long* p) override {
    return Get(L"IHTMLDOMChildrenCollection::get_length", p, [&] {
      for (const Node* child = m_pParent->firstChild; child; child = child->next) ++*p;
      return S_OK;
    });
  }
  STDMETHODIMP item(long index, IDispatch** p) override {
    return Get(
        L"IHTMLDOMChildrenCollection::item", p,
        [&] {
          Node* child = index < 0 ? nullptr : m_pParent->firstChild;
          for (long i = 0; child && i < index; ++i) child = child->next;
          if (!child) return E_INVALIDARG;
          return HandOutNode(m_pSet, m_pTree, child, p);
        },
        index);
  }

 protected:
  void* Find(REFIID riid) override { return Own<IHTMLDOMChildrenCollection>(this, riid); }

 private:
  Node* m_pParent;
};

class CCollectionObject final : public CObject<NotImplHtmlElementCollection> {
 public:
  CCollectionObject(SetPtr set, CTree* tree, dom::CLiveSelection selection)
      : CObject(std::move(set), tree), m_selection(std::move(selection)) {}

  STDMETHODIMP get_length(long* p) override {
    return Get(L"IHTMLElementCollection::get_length", p, [&] {
      *p = static_cast<long>(ItemsTo(SIZE_MAX).size());
      return S_OK;
    });
  }
  STDMETHODIMP item(VARIANT name, VARIANT, IDispatch** p) override {
    const long i = IndexOf(&name);
    return Get(
        L"IHTMLElementCollection::item", p,
        [&] {
          // No item at the index is a success with no object, as MSHTML answers.
          if (i < 0) return S_OK;
          const auto position = static_cast<std::size_t>(i);
          const std::vector<Node*>& items = ItemsTo(position);
          if (position >= items.size()) return S_OK;
          m_selection.NoteRead(position);
          return HandOutNode(m_pSet, m_pTree, items[position], p);
        },
        i);
  }
  STDMETHODIMP tags(VARIANT tagName, IDispatch** p) override {
    return Get(L"IHTMLElementCollection::tags", p, [&] {
      if (V_VT(&tagName) != VT_BSTR) return E_INVALIDARG;
      const ComPtr<CCollectionObject> tagged = Make<CCollectionObject>(
          m_pSet, m_pTree, m_selection.Tagged(FromBstr(V_BSTR(&tagName)), m_pTree->version));
      return HandOut<IDispatch>(static_cast<IHTMLElementCollection*>(tagged.get()), p);
    });
  }

 protected:
  void* Find(REFIID riid) override { return Own<IHTMLElementCollection>(this, riid); }

 private:
  const std::vector<Node*>& ItemsTo(std::size_t position) {
    return m_selection.ItemsTo(position, m_pTree->root, m_pTree->version, m_pTree->lastChanged);
  }

  dom::CLiveSelection m_selection;
};

ComPtr<IHTMLElementCollection> NewCollection(const SetPtr& set, CTree* tree, Selection selection) {
  const ComPtr<CCollectionObject> collection =
      Make<CCollectionObject>(set, tree, dom::CLiveSelection(selection, {}, tree->version));
  return ComPtr<IHTMLElementCollection>(collection.get());
}

// window.event while a document event is fired; it keeps what the sinks set.
class CEventObject final : public CObject<NotImplHtmlEventObj> {
 public:
  CEventObject(SetPtr set, CTree* tree, const CEventInit& init)
      : CObject(std::move(set), tree), m_init(init), m_pSource(init.source) {
    m_init.source = nullptr;  // held by m_pSource
  }

  STDMETHODIMP get_srcElement(IHTMLElement** p) override {
    return Get(L"IHTMLEventObj::get_srcElement", p, [&] { return m_pSource.copy_to(p); });
  }
  STDMETHODIMP get_keyCode(long* p) override {
    return Get(L"IHTMLEventObj::get_keyCode", p, [&] {
      *p = m_init.keyCode;
      return S_OK;
    });
  }
  STDMETHODIMP get_ctrlKey(VARIANT_BOOL* p) override {
    return Flag(L"IHTMLEventObj::get_ctrlKey", p, m_init.ctrlKey);
  }
  STDMETHODIMP get_shiftKey(VARIANT_BOOL* p) override {
    return Flag(L"IHTMLEventObj::get_shiftKey", p, m_init.shiftKey);
  }
  STDMETHODIMP get_altKey(VARIANT_BOOL* p) override {
    return Flag(L"IHTMLEventObj::get_altKey", p, m_init.altKey);
  }
  STDMETHODIMP get_returnValue(VARIANT* p) override {
    return Get(L"IHTMLEventObj::get_returnValue", p,
               [&] { return VariantCopy(p, const_cast<VARIANT*>(&m_returnValue.get())); });
  }
  STDMETHODIMP put_returnValue(VARIANT v) override {
    return Put(L"IHTMLEventObj::put_returnValue",
               [&] { return VariantCopy(m_returnValue.put(), &v); });
  }

 protected:
  void* Find(REFIID riid) override { return Own<IHTMLEventObj>(this, riid); }

 private:
  HRESULT Flag(const wchar_t* call, VARIANT_BOOL* p, VARIANT_BOOL value) {
    return Get(call, p, [&] {
      *p = value;
      return S_OK;
    });
  }

  CEventInit m_init;
  ComPtr<IHTMLElement> m_pSource;
  UniqueVariant m_returnValue;
};

}  // namespace

// One per node while referenced. Elements (comments too, as in MSHTML) answer IHTMLElement;
// text nodes IHTMLDOMTextNode; A, IMG and FONT their own interfaces.
class CNodeObject final
    : public CObject<NotImplHtmlElement, NotImplHtmlDomNode, NotImplHtmlDomTextNode,
                     NotImplHtmlAnchorElement, NotImplHtmlImgElement, NotImplHtmlFontElement> {
 public:
  CNodeObject(SetPtr set, CTree* tree, Node* node) : CObject(std::move(set), tree), m_pNode(node) {
    m_pTree->nodes[node] = this;
  }
  ~CNodeObject() override { m_pTree->nodes.erase(m_pNode); }

  IDispatch* Dispatch() { return static_cast<IHTMLDOMNode*>(this); }

  // IHTMLElement
  STDMETHODIMP get_tagName(BSTR* p) override {
    return Get(L"IHTMLElement::get_tagName", p, [&] {
      *p = MakeBstr(IsElement() ? TagNameOf(*m_pNode) : "!");
      return S_OK;
    });
  }
  STDMETHODIMP get_innerHTML(BSTR* p) override {
    return Get(L"IHTMLElement::get_innerHTML", p, [&] {
      *p = MakeBstr(dom::SerializeChildren(*m_pNode, g_serialization));
      return S_OK;
    });
  }
  STDMETHODIMP put_innerHTML(BSTR v) override {
    return Put(L"IHTMLElement::put_innerHTML", [&] {
      Node& holder = m_pTree->NewNode(Node::Kind::Document);
      ParseFragment(FromBstr(v), g_serialization, *m_pNode, holder, m_pTree->arena);
      while (Node* child = m_pNode->firstChild) Unlink(*child);
      MoveChildren(holder, *m_pNode, nullptr);
      m_pTree->NoteChange(m_pNode);
      return FirePropertyChange();
    });
  }
  STDMETHODIMP put_outerHTML(BSTR v) override {
    return Put(L"IHTMLElement::put_outerHTML", [&] {
      Node* parent = ParentElement();
      if (!parent) return E_ACCESSDENIED;
      Node& holder = m_pTree->NewNode(Node::Kind::Document);
      ParseFragment(FromBstr(v), g_serialization, *parent, holder, m_pTree->arena);
      MoveChildren(holder, *parent, m_pNode);
      Unlink(*m_pNode);
      m_pTree->NoteChange(m_pNode);
      return S_OK;
    });
  }

  // IHTMLDOMNode
  STDMETHODIMP get_nodeType(long* p) override {
    return Get(L"IHTMLDOMNode::get_nodeType", p, [&] {
      switch (m_pNode->kind) {
        case Node::Kind::Element:
          *p = 1;
          break;
        case Node::Kind::Text:
          *p = 3;
          break;
        case Node::Kind::Comment:
          *p = 8;
          break;
        case Node::Kind::Document:
          *p = 9;
          break;
        case Node::Kind::Doctype:
          *p = 10;
          break;
      }
      return S_OK;
    });
  }
  STDMETHODIMP get_nodeName(BSTR* p) override {
    return Get(L"IHTMLDOMNode::get_nodeName", p, [&] {
      *p = MakeBstr(IsElement()                            ? TagNameOf(*m_pNode)
                    : m_pNode->kind == Node::Kind::Text    ? "#text"
                    : m_pNode->kind == Node::Kind::Comment ? "#comment"
                                                           : "!");
      return S_OK;
    });
  }
  // The children take the node's place unless `deep`; the removed node is handed out.
  STDMETHODIMP removeNode(VARIANT_BOOL deep, IHTMLDOMNode** p) override {
    return Get(L"IHTMLDOMNode::removeNode", p, [&] {
      Node* parent = ParentElement();
      if (!parent) return E_ACCESSDENIED;
      if (!deep) MoveChildren(*m_pNode, *parent, m_pNode);
      Unlink(*m_pNode);
      m_pTree->NoteChange(m_pNode);
      return HandOut<IHTMLDOMNode>(this, p);
    });
  }
  STDMETHODIMP get_childNodes(IDispatch** p) override {
    return Get(L"IHTMLDOMNode::get_childNodes", p, [&] {
      const ComPtr<CChildrenObject> children = Make<CChildrenObject>(m_pSet, m_pTree, m_pNode);
      return HandOut<IDispatch>(static_cast<IHTMLDOMChildrenCollection*>(children.get()), p);
    });
  }
  STDMETHODIMP get_attributes(IDispatch** p) override {
    return Get(L"IHTMLDOMNode::get_attributes", p, [&] {
      // Only elements have attributes; other nodes answer with no collection.
      if (!IsElement()) return S_OK;
      const ComPtr<CAttributesObject> attributes =
          Make<CAttributesObject>(m_pSet, m_pTree, m_pNode);
      return HandOut<IDispatch>(static_cast<IHTMLAttributeCollection*>(attributes.get()), p);
    });
  }

  // IHTMLDOMTextNode
  STDMETHODIMP get_data(BSTR* p) override {
    return Get(L"IHTMLDOMTextNode::get_data", p, [&] {
      *p = MakeBstr(m_pNode->data);
      return S_OK;
    });
  }

  // IHTMLAnchorElement and IHTMLImgElement
  STDMETHODIMP get_href(BSTR* p) override {
    return Get(L"IHTMLAnchorElement::get_href", p, [&] {
      *p = MakeBstr(m_pTree->AddressOf(*m_pNode, "href"));
      return S_OK;
    });
  }
  STDMETHODIMP put_href(BSTR v) override {
    return Put(L"IHTMLAnchorElement::put_href", [&] {
      SetAttribute("href", v);
      return FirePropertyChange();
    });
  }
  STDMETHODIMP get_src(BSTR* p) override {
    return Get(L"IHTMLImgElement::get_src", p, [&] {
      *p = MakeBstr(m_pTree->AddressOf(*m_pNode, "src"));
      return S_OK;
    });
  }
  STDMETHODIMP put_src(BSTR v) override {
    return Put(L"IHTMLImgElement::put_src", [&] {
      SetAttribute("src", v);
      return FirePropertyChange();
    });
  }
  STDMETHODIMP get_alt(BSTR* p) override {
    return Get(L"IHTMLImgElement::get_alt", p, [&] {
      const std::string* alt = m_pNode->FindAttribute("alt");
      *p = MakeBstr(alt ? *alt : std::string());
      return S_OK;
    });
  }

 protected:
  void* Find(REFIID riid) override {
    if (void* node = Own<IHTMLDOMNode>(this, riid)) return node;
    if (IsEqualIID(riid, __uuidof(IHTMLElement))) {
      return IsElement() || m_pNode->kind == Node::Kind::Comment ? static_cast<IHTMLElement*>(this)
                                                                 : nullptr;
    }
    if (IsEqualIID(riid, __uuidof(IHTMLDOMTextNode))) {
      return m_pNode->kind == Node::Kind::Text ? static_cast<IHTMLDOMTextNode*>(this) : nullptr;
    }
    if (IsEqualIID(riid, __uuidof(IHTMLAnchorElement))) {
      return m_pNode->IsHtml("a") ? static_cast<IHTMLAnchorElement*>(this) : nullptr;
    }
    if (IsEqualIID(riid, __uuidof(IHTMLImgElement))) {
      return m_pNode->IsHtml("img") ? static_cast<IHTMLImgElement*>(this) : nullptr;
    }
    if (IsEqualIID(riid, __uuidof(IHTMLFontElement))) {
      return m_pNode->IsHtml("font") ? static_cast<IHTMLFontElement*>(this) : nullptr;
    }
    return nullptr;
  }
  CCallSite Site(long index) const override { return {m_pTree, m_pNode, index}; }

 private:
  bool IsElement() const { return m_pNode->kind == Node::Kind::Element; }

  void SetAttribute(const std::string& name, BSTR value) {
    // A new attribute can make the element a link; a changed one never changes a selection.
    if (!m_pNode->FindAttribute(name)) m_pTree->NoteChange(m_pNode);
    m_pNode->SetAttribute(name, FromBstr(value));
  }

  // The script's own outcome does not reach the writer, as in the browser.
  HRESULT FirePropertyChange() {
    // Held, so that the script may remove itself.
    if (const ComPtr<IDispatch> handler = m_pTree->propertyChangeHandler) {
      DISPPARAMS none{};
      handler->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                      nullptr, nullptr);
    }
    return S_OK;
  }

  // As the portable model: only an element inside an element can be replaced or removed.
  Node* ParentElement() const {
    Node* parent = m_pNode->parent;
    return parent && parent->kind == Node::Kind::Element ? parent : nullptr;
  }

  static void Unlink(Node& node) {
    (node.prev ? node.prev->next : node.parent->firstChild) = node.next;
    (node.next ? node.next->prev : node.parent->lastChild) = node.prev;
    node.parent = node.prev = node.next = nullptr;
  }

  // Moves the children of `holder` into `parent` before `before` (at the end when null).
  static void MoveChildren(Node& holder, Node& parent, Node* before) {
    while (Node* child = holder.firstChild) {
      Unlink(*child);
      child->parent = &parent;
      child->next = before;
      child->prev = before ? before->prev : parent.lastChild;
      (child->prev ? child->prev->next : parent.firstChild) = child;
      (before ? before->prev : parent.lastChild) = child;
    }
  }

  Node* m_pNode;
};

// A document's window, or a frame's window that refuses access (no tree).
class CWindowObject final : public CObject<NotImplHtmlWindow2> {
 public:
  CWindowObject(SetPtr set, CTree* tree) : CObject(std::move(set), tree) {
    if (m_pTree) m_pTree->window = this;
  }
  ~CWindowObject() override {
    if (m_pTree) m_pTree->window = nullptr;
  }

  // The frames collection is the window itself, as in MSHTML.
  STDMETHODIMP get_frames(IHTMLFramesCollection2** p) override {
    return Get(L"IHTMLWindow2::get_frames", p, [&] {
      if (!m_pTree) return E_ACCESSDENIED;
      return HandOut<IHTMLFramesCollection2>(this, p);
    });
  }
  STDMETHODIMP get_length(long* p) override {
    return Get(L"IHTMLFramesCollection2::get_length", p, [&] {
      if (!m_pTree) return E_ACCESSDENIED;
      *p = static_cast<long>(m_pTree->frames.size());
      return S_OK;
    });
  }
  STDMETHODIMP item(VARIANT* index, VARIANT* p) override {
    const long i = IndexOf(index);
    return Get(
        L"IHTMLFramesCollection2::item", p,
        [&] {
          if (!m_pTree) return E_ACCESSDENIED;
          if (i < 0 || static_cast<std::size_t>(i) >= m_pTree->frames.size()) return E_INVALIDARG;
          const std::optional<std::size_t> shown = m_pTree->frames[i];
          const ComPtr<IHTMLWindow2> frame =
              shown ? WindowOf(m_pSet, m_pSet->trees[*shown].get())
                    : ComPtr<IHTMLWindow2>(Make<CWindowObject>(m_pSet, nullptr).get());
          V_VT(p) = VT_DISPATCH;
          return HandOut<IDispatch>(frame.get(), &V_DISPATCH(p));
        },
        i);
  }
  STDMETHODIMP get_document(IHTMLDocument2** p) override {
    return Get(L"IHTMLWindow2::get_document", p, [&] {
      // A frame showing another domain's page refuses its document.
      if (!m_pTree) return E_ACCESSDENIED;
      return HandOut(DocumentOf(m_pSet, TreeIndex(m_pTree)).get(), p);
    });
  }
  STDMETHODIMP get_event(IHTMLEventObj** p) override {
    return Get(L"IHTMLWindow2::get_event", p, [&] {
      if (!m_pTree) return E_ACCESSDENIED;
      return ComPtr<IHTMLEventObj>(m_pTree->currentEvent).copy_to(p);
    });
  }
  STDMETHODIMP scrollTo(long x, long y) override {
    return Put(L"IHTMLWindow2::scrollTo", [&] {
      if (!m_pTree) return E_ACCESSDENIED;
      m_pTree->scrolls.emplace_back(x, y);
      return S_OK;
    });
  }

 protected:
  void* Find(REFIID riid) override { return Own<IHTMLWindow2, IHTMLFramesCollection2>(this, riid); }

 private:
  std::size_t TreeIndex(const CTree* tree) const {
    std::size_t index = 0;
    while (m_pSet->trees[index].get() != tree) ++index;
    return index;
  }
};

// A document is also its host's: ICustomDoc keeps the UI handler, and HTMLDocumentEvents has a
// connection point; IDoubleDocument gives a test both, and fires the events.
class CDocumentObject final
    : public CObject<NotImplHtmlDocument2, ICustomDoc, IConnectionPointContainer, IDoubleDocument> {
 public:
  CDocumentObject(SetPtr set, CTree* tree)
      : CObject(std::move(set), tree), m_eventPoint(*this, __uuidof(HTMLDocumentEvents)) {
    m_pTree->document = this;
  }
  ~CDocumentObject() override { m_pTree->document = nullptr; }

  CTree& Tree() const { return *m_pTree; }
  const SetPtr& Set() const { return m_pSet; }

  // What MSHTML takes from its host when it creates a document: the site's UI handler, which
  // also serves until SetUIHandler replaces it, and the flags of its GetHostInfo. MSDN, ICustomDoc:
  // "Typically, MSHTML calls the host client site's QueryInterface method to obtain the
  // IDocHostUIHandler interface."
  void TakeHostUI(IOleClientSite* site) {
    const auto handler = ComPtr<IOleClientSite>(site).try_query<IDocHostUIHandler>();
    if (!handler) return;
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof(info);
    if (SUCCEEDED(handler->GetHostInfo(&info))) m_hostFlags = info.dwFlags;
    if (!m_pUiHandler) m_pUiHandler = handler;
  }

  STDMETHODIMP get_URL(BSTR* p) override {
    return Get(L"IHTMLDocument2::get_URL", p, [&] {
      *p = MakeBstr(m_pTree->url);
      return S_OK;
    });
  }
  STDMETHODIMP get_links(IHTMLElementCollection** p) override {
    return Get(L"IHTMLDocument2::get_links", p,
               [&] { return HandOut(NewCollection(m_pSet, m_pTree, Selection::Links).get(), p); });
  }
  STDMETHODIMP get_images(IHTMLElementCollection** p) override {
    return Get(L"IHTMLDocument2::get_images", p,
               [&] { return HandOut(NewCollection(m_pSet, m_pTree, Selection::Images).get(), p); });
  }
  STDMETHODIMP get_all(IHTMLElementCollection** p) override {
    return Get(L"IHTMLDocument2::get_all", p,
               [&] { return HandOut(NewCollection(m_pSet, m_pTree, Selection::All).get(), p); });
  }
  STDMETHODIMP get_body(IHTMLElement** p) override {
    return Get(L"IHTMLDocument2::get_body", p, [&] {
      Node* body = m_pTree->Body();
      if (!body) return S_OK;
      return HandOut<IHTMLElement>(NodeObject(m_pSet, m_pTree, body).get(), p);
    });
  }
  STDMETHODIMP get_parentWindow(IHTMLWindow2** p) override {
    return Get(L"IHTMLDocument2::get_parentWindow", p,
               [&] { return HandOut(WindowOf(m_pSet, m_pTree).get(), p); });
  }

  // ICustomDoc
  STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override {
    return Put(L"ICustomDoc::SetUIHandler", [&] {
      m_pUiHandler = handler;
      return S_OK;
    });
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    return Get(L"IConnectionPointContainer::FindConnectionPoint", point, [&] {
      if (!IsEqualIID(riid, __uuidof(HTMLDocumentEvents))) return CONNECT_E_NOCONNECTION;
      return HandOut<IConnectionPoint>(&m_eventPoint, point);
    });
  }

  // IDoubleDocument
  STDMETHODIMP GetUIHandler(IDocHostUIHandler** handler) override {
    if (!handler) return E_POINTER;
    m_pUiHandler.copy_to(handler);
    return m_pUiHandler ? S_OK : S_FALSE;
  }
  STDMETHODIMP GetHostFlags(DWORD* flags) override {
    if (!flags) return E_POINTER;
    *flags = m_hostFlags.value_or(0);
    return m_hostFlags ? S_OK : S_FALSE;
  }
  STDMETHODIMP GetEventSinkCount(long* count) override {
    return Get(L"IDoubleDocument::GetEventSinkCount", count, [&] {
      *count = static_cast<long>(m_eventPoint.Sinks().size());
      return S_OK;
    });
  }
  STDMETHODIMP GetEventSink(long index, IDispatch** sink) override {
    return Get(L"IDoubleDocument::GetEventSink", sink, [&] {
      const auto sinks = m_eventPoint.Sinks();
      if (index < 0 || static_cast<std::size_t>(index) >= sinks.size()) return E_INVALIDARG;
      return sinks[index].copy_to(sink);
    });
  }
  STDMETHODIMP FireEvent(DISPID id, const CEventInit* init, VARIANT* result,
                         IHTMLEventObj** event) override {
    if (!init) return E_POINTER;
    if (event) *event = nullptr;
    if (result) VariantInit(result);
    try {
      const ComPtr<CEventObject> fired = Make<CEventObject>(m_pSet, m_pTree, *init);
      IHTMLEventObj* const outer = std::exchange(m_pTree->currentEvent, fired.get());
      HRESULT hr = S_OK;
      DISPPARAMS none{};
      for (const auto& sink : m_eventPoint.Sinks()) {
        if (result) VariantClear(result);
        hr = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result,
                          nullptr, nullptr);
      }
      m_pTree->currentEvent = outer;
      if (event) fired.copy_to(event);
      return hr;
    }
    CATCH_RETURN();
  }
  STDMETHODIMP InjectFault(LPCWSTR call, HRESULT result, int times) override {
    if (!call) return E_POINTER;
    try {
      test_double::InjectFault({.call = call,
                                .result = result,
                                .documentUrl = Utf8ToWide(m_pTree->url),
                                .times = times});
      return S_OK;
    }
    CATCH_RETURN();
  }
  STDMETHODIMP ClearFaults() override {
    test_double::ClearFaults();
    return S_OK;
  }
  STDMETHODIMP SetPropertyChangeHandler(IDispatch* handler) override {
    m_pTree->propertyChangeHandler = handler;
    return S_OK;
  }

 protected:
  void* Find(REFIID riid) override {
    if (void* html = Own<IHTMLDocument2, IHTMLDocument>(this, riid)) return html;
    if (IsEqualIID(riid, __uuidof(ICustomDoc))) return static_cast<ICustomDoc*>(this);
    if (IsEqualIID(riid, IID_IConnectionPointContainer))
      return static_cast<IConnectionPointContainer*>(this);
    if (IsEqualIID(riid, __uuidof(IDoubleDocument))) return static_cast<IDoubleDocument*>(this);
    return nullptr;
  }

 private:
  ComPtr<IDocHostUIHandler> m_pUiHandler;
  std::optional<DWORD> m_hostFlags;
  CConnectionPoint m_eventPoint;
};

namespace {

ComPtr<CNodeObject> NodeObject(const SetPtr& set, CTree* tree, Node* node) {
  const auto found = tree->nodes.find(node);
  if (found != tree->nodes.end()) return ComPtr<CNodeObject>(found->second);
  return Make<CNodeObject>(set, tree, node);
}

HRESULT HandOutNode(const SetPtr& set, CTree* tree, Node* node, IDispatch** out) {
  return HandOut(NodeObject(set, tree, node)->Dispatch(), out);
}

ComPtr<IHTMLWindow2> WindowOf(const SetPtr& set, CTree* tree) {
  if (tree->window) return ComPtr<IHTMLWindow2>(tree->window);
  return ComPtr<IHTMLWindow2>(Make<CWindowObject>(set, tree).get());
}

CDocumentObject* DoubleDocument(IHTMLDocument2* document) {
  return dynamic_cast<CDocumentObject*>(document);
}

}  // namespace

ComPtr<IHTMLDocument2> DocumentOf(const SetPtr& set, std::size_t index) {
  CTree* tree = set->trees.at(index).get();
  if (tree->document) return ComPtr<IHTMLDocument2>(tree->document);
  return ComPtr<IHTMLDocument2>(Make<CDocumentObject>(set, tree).get());
}

namespace {

// The set's tree `index` copied into the set, with copies of the trees its frames show.
std::size_t RenewTree(CDocumentSet& set, std::size_t index) {
  auto tree = std::make_unique<CTree>();
  CopyPage(*set.trees.at(index), *tree);
  for (std::optional<std::size_t>& frame : tree->frames) {
    if (frame) frame = RenewTree(set, *frame);
  }
  set.trees.push_back(std::move(tree));
  return set.trees.size() - 1;
}

void TearDown(const CDocumentSet& set, CTree& tree) {
  if (tree.tornDown) return;
  tree.tornDown = true;
  for (const std::optional<std::size_t>& frame : tree.frames) {
    if (frame) TearDown(set, *set.trees.at(*frame));
  }
}

}  // namespace

ComPtr<IHTMLDocument2> RenewDocument(IHTMLDocument2* document) {
  const CDocumentObject* object = document ? DoubleDocument(document) : nullptr;
  if (!object) return {};
  CDocumentSet& set = *object->Set();
  std::size_t old = 0;
  while (set.trees[old].get() != &object->Tree()) ++old;
  const std::size_t renewed = RenewTree(set, old);
  for (const auto& tree : set.trees) {
    for (std::optional<std::size_t>& frame : tree->frames) {
      if (frame == old) frame = renewed;
    }
  }
  return DocumentOf(object->Set(), renewed);
}

void TearDownDocument(IHTMLDocument2* document) {
  if (const CDocumentObject* object = document ? DoubleDocument(document) : nullptr)
    TearDown(*object->Set(), object->Tree());
}

void TakeHostUI(IHTMLDocument2* document, IOleClientSite* site) {
  if (CDocumentObject* object = document ? DoubleDocument(document) : nullptr)
    object->TakeHostUI(site);
}

ComPtr<IHTMLDocument2> ParseDocument(std::string_view htmlUtf8, const std::wstring& url) {
  auto set = std::make_shared<CDocumentSet>();
  CTree& tree = *set->trees.emplace_back(std::make_unique<CTree>());
  tree.url = WideToUtf8(url);
  tree.root = &tree.NewNode(Node::Kind::Document);
  ParseDocumentInto(htmlUtf8, *tree.root, tree.arena);
  return DocumentOf(set, 0);
}

std::string SerializeDocument(IHTMLDocument2* document) {
  const CDocumentObject* object = document ? DoubleDocument(document) : nullptr;
  return object ? dom::SerializeChildren(*object->Tree().root, g_serialization) : std::string();
}

std::vector<std::pair<long, long>> ScrollsOf(IHTMLDocument2* document) {
  const CDocumentObject* object = document ? DoubleDocument(document) : nullptr;
  return object ? object->Tree().scrolls : std::vector<std::pair<long, long>>();
}

void UseSerialization(dom::Serialization serialization) {
  g_serialization = serialization;
}

long LiveObjectCount() {
  return g_nLiveObjects;
}

}  // namespace tavrin::test_double
