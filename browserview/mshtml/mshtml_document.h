// The document model over MSHTML's COM interfaces: the Windows side of document_model.h.
//
// An interface the object lacks (E_NOINTERFACE) is an absence: a null or false result. A failed
// `item` call and a frame whose document is refused (E_ACCESSDENIED) or missing are absences too.
// Any other failure, a null interface from a successful call and exhausted memory raise
// dom::DomError with the HRESULT (E_POINTER for the null).
#pragma once

#include <exdisp.h>
#include <mshtml.h>

#include <memory>

#include "browserview/document_model.h"

namespace tavrin::mshtml {

// Null for null.
dom::DocumentPtr WrapDocument(IHTMLDocument2* document);
// Document (asked for IHTMLDocument2) and StatusText of the browser; null for null.
std::unique_ptr<dom::IBrowser> WrapBrowser(IWebBrowser2* browser);

}  // namespace tavrin::mshtml
