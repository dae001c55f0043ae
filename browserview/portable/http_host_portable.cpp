// GetHttpHost on the browser address layer (the platforms without WinINet).
#include "browserview/http_host.h"

#include "browserview/portable/browser_url.h"

namespace tavrin {

int GetHttpHost(const std::string& address, std::string& host) {
  auto found = url::HttpHost(address);
  if (!found) return 0;
  host = std::move(*found);
  return 1;
}

}  // namespace tavrin
