// The band's run of the anchor list over MSHTML.
#pragma once

#include <exdisp.h>
#include <mshtml.h>

#include <vector>

#include "framework/com_ptr.h"

namespace tavrin::mshtml {

// Walks the recorded frame documents (entries may be null) and the main document, puts the
// list into the view's body and cleans the view up. "DomainOnly" is read from the settings at
// every run; the status text goes to the main browser (none when it is null). 1 when the view
// received a new list, else 0; a failed run leaves the view as it was.
int ListBrowserAnchorsIntoView(IWebBrowser2* mainBrowser, IHTMLDocument2* mainDocument,
                               const std::vector<ComPtr<IHTMLDocument2>>& frameDocuments,
                               IWebBrowser2* viewBrowser) noexcept;

}  // namespace tavrin::mshtml
