// The MSHTML double: documents, elements, collections, DOM nodes and windows as COM objects over
// a tree of its own, loaded from the snapshots that tavrin-anchors writes. Test code only.
#pragma once

#include <windows.h>
#include <mshtmhst.h>
#include <mshtml.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "browserview/portable/html_tree.h"
#include "framework/com_ptr.h"

namespace tavrin::test_double {

struct CSnapshot {
  std::vector<tavrin::ComPtr<IHTMLDocument2>> documents;
  tavrin::ComPtr<IHTMLDocument2> top;
  // The view's page as parsed before a run.
  tavrin::ComPtr<IHTMLDocument2> view;
};

// Throws std::runtime_error on a file that cannot be read or is not a snapshot.
CSnapshot LoadSnapshot(const std::wstring& path);
// The same from the file's text.
CSnapshot ParseSnapshot(std::string_view json);

// A document parsed by the double's own tolerant parser; it has no frames.
tavrin::ComPtr<IHTMLDocument2> ParseDocument(std::string_view htmlUtf8, const std::wstring& url);

// A new document object for the page the document shows, as a browser makes one when a frame
// navigates again: a copy of the page (its frames renewed likewise), which the frame that
// showed the old one shows from now on. Null for a document that is not the double's.
tavrin::ComPtr<IHTMLDocument2> RenewDocument(IHTMLDocument2* document);

// The document, and those its frames show, replaced by a navigation: their objects answer every
// call with E_UNEXPECTED from now on.
void TearDownDocument(IHTMLDocument2* document);

// What MSHTML asks of its host as it creates a document: the UI handler of the OLE client site
// (QueryInterface on the site) and that handler's GetHostInfo.
void TakeHostUI(IHTMLDocument2* document, IOleClientSite* site);

// How the process's documents write innerHTML and read markup put into them; Html5 until changed.
void UseSerialization(dom::Serialization serialization);

// The whole document in the serialisation in use, doctype included, UTF-8; empty for a document
// that is not the double's.
std::string SerializeDocument(IHTMLDocument2* document);

// Every scrollTo of the document's window, in order.
std::vector<std::pair<long, long>> ScrollsOf(IHTMLDocument2* document);

struct CFault {
  // "IHTMLElementCollection::item", "IHTMLDocument2::get_links", "QueryInterface:IHTMLElement":
  // a method is named after the interface that declares it (a window's length and item are
  // "IHTMLFramesCollection2::get_length" and "IHTMLFramesCollection2::item", an image's src
  // "IHTMLImgElement::get_src").
  std::wstring call;
  HRESULT result = E_FAIL;   // S_OK means: succeed with a null result
  std::wstring documentUrl;  // only objects of this document; empty: any
  std::wstring tag;          // element calls: only elements of this tag (upper case); empty: any
  long index = -1;           // item calls: only this index; element calls: the n-th matching
                             // element in document order
  int times = -1;            // how often it fires; -1: always
};

void InjectFault(const CFault& fault);
void ClearFaults();

// COM objects of the double alive now; 0 after a run that gave every reference back.
long LiveObjectCount();

// A document event as window.event describes it while the event's sinks run.
struct CEventInit {
  IHTMLElement* source = nullptr;
  long keyCode = 0;
  VARIANT_BOOL ctrlKey = VARIANT_FALSE;
  VARIANT_BOOL shiftKey = VARIANT_FALSE;
  VARIANT_BOOL altKey = VARIANT_FALSE;
};

}  // namespace tavrin::test_double

// What a test asks of a document of the double beyond MSHTML's own interfaces. A COM interface,
// so that a test reaches the documents of the double that webbrowser-double.dll holds.
struct IDoubleDocument : public IUnknown {
  // The handler that ICustomDoc::SetUIHandler holds; null (S_FALSE) when none, as MSHTML would
  // call it.
  virtual HRESULT STDMETHODCALLTYPE GetUIHandler(IDocHostUIHandler** handler) = 0;
  // The DOCHOSTUIINFO flags the host's handler gave when the document was created; 0 (S_FALSE)
  // when the host had no handler then.
  virtual HRESULT STDMETHODCALLTYPE GetHostFlags(DWORD* flags) = 0;
  // The sinks advised on the HTMLDocumentEvents connection point, in order of advice.
  virtual HRESULT STDMETHODCALLTYPE GetEventSinkCount(long* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEventSink(long index, IDispatch** sink) = 0;
  // Fires the HTMLDocumentEvents member `id` to every sink as MSHTML does: without arguments,
  // window.event describing it meanwhile. `result` is the last sink's; the event is handed out
  // afterwards, to read what the sinks set. Answers the last sink's HRESULT.
  virtual HRESULT STDMETHODCALLTYPE FireEvent(DISPID id,
                                              const tavrin::test_double::CEventInit* init,
                                              VARIANT* result, IHTMLEventObj** event) = 0;
  // A fault (mshtml_double.h's CFault) limited to this document, in the module that holds it.
  virtual HRESULT STDMETHODCALLTYPE InjectFault(LPCWSTR call, HRESULT result, int times) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearFaults() = 0;
  // Page script run as onpropertychange runs it: after each put_href, put_src and put_innerHTML
  // on an element of this document, `handler`'s DISPID_VALUE is invoked without arguments. In the
  // browser writing these properties fires the event, so script (an alert with its nested message
  // loop, a navigation, closing the bar) runs inside the writer's call. Null removes it.
  virtual HRESULT STDMETHODCALLTYPE SetPropertyChangeHandler(IDispatch* handler) = 0;
};
__CRT_UUID_DECL(IDoubleDocument, 0x5c573aff, 0xa863, 0x409f, 0xad, 0xd4, 0x0a, 0xf1, 0x4f, 0x5d,
                0x29, 0xf3)
