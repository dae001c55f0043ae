#pragma once
// The documents the WebBrowser double shows: pages found by address, and the frames of a document.

#include "framework/com_ptr.h"

#include <mshtml.h>

#include <string>
#include <vector>

namespace tavrin::test_double {

// Where pages are found: the folder named by this environment variable holds an index file, one
// "ADDRESS<TAB>SNAPSHOT FILE" per line, the file relative to the folder. "about:blank" is an empty
// page and "res://MODULE/N" the HTML resource N of that module; other addresses have no document.
inline constexpr wchar_t kPagesVariable[] = L"TAVRIN_DOUBLE_PAGES";
inline constexpr wchar_t kPageIndexName[] = L"index.txt";

// The top document of the page at url; null when there is none. Throws std::runtime_error on an
// index or snapshot that cannot be read.
ComPtr<IHTMLDocument2> LoadPage(const std::wstring& url);

// The documents shown by the direct frames of the document's window, in the window's order;
// frames whose document is refused are left out.
std::vector<ComPtr<IHTMLDocument2>> FrameDocuments(IHTMLDocument2* document);

// The document's address; empty when it has none.
std::wstring DocumentUrl(IHTMLDocument2* document);

// What each link of the document shows, in document order.
std::vector<std::wstring> LinkTexts(IHTMLDocument2* document);

}  // namespace tavrin::test_double
