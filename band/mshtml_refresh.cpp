#include "band/mshtml_refresh.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "anchors/refresh_anchor_list.h"
#include "band/settings.h"
#include "browserview/mshtml/mshtml_document.h"

namespace tavrin::mshtml {

int ListBrowserAnchorsIntoView(IWebBrowser2* mainBrowser, IHTMLDocument2* mainDocument,
                               const std::vector<ComPtr<IHTMLDocument2>>& frameDocuments,
                               IWebBrowser2* viewBrowser) noexcept {
  try {
    RefreshContext context;
    for (const ComPtr<IHTMLDocument2>& document : frameDocuments) {
      context.frameDocuments.push_back(WrapDocument(document.get()));
    }
    if (std::shared_ptr<dom::IBrowser> browser = WrapBrowser(mainBrowser)) {
      context.setStatusText = [browser](const std::string& text) { browser->SetStatusText(text); };
    }
    context.readDomainOnly = [] {
      return std::optional<std::uint32_t>(ReadSetting(kDomainOnlyValue) ? 1 : 0);
    };
    const std::unique_ptr<dom::IBrowser> view = WrapBrowser(viewBrowser);
    return ListAnchorsIntoView(context, WrapDocument(mainDocument), view.get());
  } catch (...) {
    // Only building the context can throw here (out of memory): the run never started.
    return 0;
  }
}

}  // namespace tavrin::mshtml
